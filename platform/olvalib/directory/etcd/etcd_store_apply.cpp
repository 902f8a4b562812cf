// The etcd directory's writes: one transaction per request, every request of a batch in
// flight at once, except that requests on one entry wait for each other and so keep their
// order.
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <tuple>

#include "client/tarne_status_codes.h"
#include "etcd_keys.h"
#include "etcd_maintenance.h"
#include "etcd_store.h"

namespace olva::dir {
namespace {

namespace pb = etcd::pb;

// A row takes one operation per order.
constexpr size_t kRowsPerTransaction = kMaxTransactionOperations / kEtcdOrders.size();
// An update or deletion whose entry keeps changing under it (other hosts writing it) reads
// and tries again until this long after its first try, as a SQLite writer waits for the lock.
constexpr std::chrono::seconds kContentionLimit{10};

void AddCompare(pb::TxnRequest &txn, const std::string &key, const std::string &rangeEnd,
                pb::Compare::CompareTarget target, pb::Compare::CompareResult result,
                int64_t number) {
  pb::Compare *compare = txn.add_compare();
  compare->set_key(key);
  if (!rangeEnd.empty()) compare->set_range_end(rangeEnd);
  compare->set_target(target);
  compare->set_result(result);
  switch (target) {
    case pb::Compare::CREATE:
      compare->set_create_revision(number);
      break;
    case pb::Compare::MOD:
      compare->set_mod_revision(number);
      break;
    default:
      compare->set_version(number);
      break;
  }
}

// A call that ended without an answer, or that the members refused: for want of space (until
// the history is compacted and the alarm cleared, deletions still pass), or for another reason.
PEK_ReturnStatus RefusalStatus(const grpc::Status &status) {
  return etcd::SpaceExhausted(status) ? TARNE_STATUS_QUOTA_EXCEEDED : TARNE_STATUS_FAILURE;
}

std::string BytesOf(const OlvaUUID &uuid) {
  return {reinterpret_cast<const char *>(uuid.bytes), sizeof uuid.bytes};
}

// The requests of a batch that must not be in flight together. An update, or a deletion of
// every revision or owner, reads the entry's rows and so waits for every request on the entry
// (whichever owner a deletion names); an add or a deletion of one row touches that row only,
// so requests on other revisions of the entry go beside it.
class WaveConflicts {
 public:
  // False, and nothing recorded, when the request must wait for one already in the wave.
  bool Admit(const UpdateRequest &request, const EntryKey &key) {
    const EntryIdentity entry{BytesOf(key.uuid), key.type, BytesOf(key.cluster)};
    const bool oneRow = request.kind == UpdateRequest::Kind::kAdd ||
                        (request.kind == UpdateRequest::Kind::kDelete &&
                         !IsNullUuid(request.entry->owner) && request.entry->revision != 0);
    const RowIdentity row{BytesOf(key.owner), key.revision};
    if (wholeEntries_.contains(entry)) return false;
    const auto touched = rows_.find(entry);
    if (touched != rows_.end() && (!oneRow || touched->second.contains(row))) return false;
    if (oneRow) {
      rows_[entry].insert(row);
    } else {
      wholeEntries_.insert(entry);
    }
    return true;
  }

 private:
  using EntryIdentity = std::tuple<std::string, uint8_t, std::string>;
  using RowIdentity = std::pair<std::string, uint64_t>;
  std::set<EntryIdentity> wholeEntries_;
  std::map<EntryIdentity, std::set<RowIdentity>> rows_;
};

}  // namespace

// One request's calls to the cluster, driven by their completions on gRPC's threads.
class EtcdStore::Operation {
 public:
  Operation(EtcdStore &store, AppliedUpdate &applied, std::function<void()> finished)
      : store_(store),
        applied_(applied),
        finished_(std::move(finished)),
        key_(KeyOfRequest(applied.request)) {}

  void Start() {
    const UpdateRequest &request = applied_.request;
    switch (request.kind) {
      case UpdateRequest::Kind::kAdd:
        return Add();
      case UpdateRequest::Kind::kUpdate:
        return ReadEntry();
      case UpdateRequest::Kind::kDelete:
        return ExactDeletion() ? DeleteRow() : ReadEntry();
    }
    Finish(TARNE_STATUS_BAD_PARAMETER);
  }

  // Whether the request may have changed the cluster.
  bool MayHaveCommitted() const { return mayHaveCommitted_; }

  // An add, or a deletion of one row, can share a transaction with others: the bytes it puts
  // in one, or nothing.
  std::optional<size_t> SharableBytes() const {
    // An operation on each of the row's keys and a compare of one of them.
    const uint64_t keys = (kEtcdOrders.size() + 1) * store_.KeyOperationBytes();
    if (ExactDeletion()) return static_cast<size_t>(keys);
    if (applied_.request.kind != UpdateRequest::Kind::kAdd) return std::nullopt;
    const uint64_t payload = applied_.request.entry->valueLen;
    if (payload > store_.MaxPayload()) return std::nullopt;
    return static_cast<size_t>(kEtcdOrders.size() * (sizeof(TarneEntry) + payload) + keys);
  }
  // Its compare and its operations, into a transaction shared with others.
  void AppendShared(pb::TxnRequest &txn) const {
    const std::string rowKey = etcd::RowKey(store_.keyPrefix_, kTableOrder, key_);
    if (ExactDeletion()) {
      AddCompare(txn, rowKey, {}, pb::Compare::VERSION, pb::Compare::GREATER, 0);
      DeleteRowKeys(txn, key_);
      return;
    }
    AddCompare(txn, rowKey, {}, pb::Compare::CREATE, pb::Compare::EQUAL, 0);
    PutRow(txn, StoredValue());
  }
  // The shared transaction's outcome, when it tells this request's.
  void SharedOutcome(PEK_ReturnStatus status) {
    mayHaveCommitted_ = true;
    Finish(status);
  }

 private:
  // A deletion of one row, named by its owner and revision.
  bool ExactDeletion() const {
    const TarneEntry &header = *applied_.request.entry;
    return applied_.request.kind == UpdateRequest::Kind::kDelete && !IsNullUuid(header.owner) &&
           header.revision != 0;
  }

  // The criteria of the rows an update supersedes or a deletion removes.
  MatchCriteria Rows() const {
    const TarneEntry &header = *applied_.request.entry;
    MatchCriteria rows;
    rows.uuid = key_.uuid;
    if (applied_.request.kind == UpdateRequest::Kind::kUpdate || !IsNullUuid(header.owner)) {
      rows.owner = key_.owner;
    }
    rows.type = key_.type;
    if (applied_.request.kind == UpdateRequest::Kind::kDelete && header.revision != 0) {
      rows.revision = header.revision;
    }
    rows.cluster = key_.cluster;
    return rows;
  }

  std::string StoredValue() const {
    const TarneEntry &header = *applied_.request.entry;
    const TarneEntry stored = StoredHeader(key_, header, header.valueLen);
    std::string value(reinterpret_cast<const char *>(&stored), sizeof stored);
    value.append(reinterpret_cast<const char *>(TarneEntry_Payload(applied_.request.entry)),
                 header.valueLen);
    return value;
  }

  void PutRow(pb::TxnRequest &txn, const std::string &value) const {
    for (const ColumnOrder &order : kEtcdOrders) {
      pb::PutRequest *put = txn.add_success()->mutable_request_put();
      put->set_key(etcd::RowKey(store_.keyPrefix_, order, key_));
      put->set_value(value);
    }
  }

  void DeleteRowKeys(pb::TxnRequest &txn, const EntryKey &row) const {
    for (const ColumnOrder &order : kEtcdOrders) {
      txn.add_success()->mutable_request_delete_range()->set_key(
          etcd::RowKey(store_.keyPrefix_, order, row));
    }
  }

  void Add() {
    if (applied_.request.entry->valueLen > store_.MaxPayload()) {
      return Finish(TARNE_STATUS_LIMIT_EXCEEDED);
    }
    txn_.Clear();
    AppendShared(txn_);
    SendTxn([this](bool succeeded) {
      Finish(succeeded ? TARNE_STATUS_SUCCESS : TARNE_STATUS_ALREADY_EXISTS);
    });
  }

  void DeleteRow() {
    txn_.Clear();
    AppendShared(txn_);
    SendTxn([this](bool succeeded) {
      Finish(succeeded ? TARNE_STATUS_SUCCESS : TARNE_STATUS_NOT_FOUND);
    });
  }

  // Reads the entry's rows, then writes in one transaction that holds only while none of
  // them changed since the read.
  void ReadEntry() {
    if (applied_.request.kind == UpdateRequest::Kind::kUpdate &&
        applied_.request.entry->valueLen > store_.MaxPayload()) {
      return Finish(TARNE_STATUS_LIMIT_EXCEEDED);
    }
    range_ = etcd::MatchRange(store_.keyPrefix_, Rows(), std::nullopt);
    rangeRequest_.set_key(range_.begin);
    rangeRequest_.set_range_end(range_.end);
    rangeRequest_.set_keys_only(true);
    NewContext();
    store_.client_->RangeAsync(context_.get(), &rangeRequest_, &rangeResponse_,
                               [this](const grpc::Status &status) {
                                 if (!status.ok()) return Finish(RefusalStatus(status));
                                 WriteEntry();
                               });
  }

  void WriteEntry() {
    const MatchCriteria rows = Rows();
    const bool update = applied_.request.kind == UpdateRequest::Kind::kUpdate;
    std::vector<EntryKey> found;
    for (const mvccpb::KeyValue &stored : rangeResponse_.kvs()) {
      std::optional<EntryKey> row = etcd::ParseRowKey(store_.keyPrefix_, kTableOrder, stored.key());
      if (!row) continue;  // not a row of this directory's
      if (MatchesRows(rows, *row)) found.push_back(*row);
    }
    txn_.Clear();
    AddCompare(txn_, range_.begin, range_.end, pb::Compare::MOD, pb::Compare::LESS,
               rangeResponse_.header().revision() + 1);
    if (update) {
      uint64_t latest = 0;
      for (const EntryKey &row : found) latest = std::max(latest, row.revision);
      if (latest == std::numeric_limits<uint64_t>::max()) {
        return Finish(TARNE_STATUS_LIMIT_EXCEEDED);
      }
      // Older revisions beyond one transaction's room stay (an entry gets them only through
      // adds at chosen revisions); the newest is still the latest.
      if (found.size() + 1 > kRowsPerTransaction) found.resize(kRowsPerTransaction - 1);
      key_.revision = latest + 1;
      PutRow(txn_, StoredValue());
    } else {
      if (found.empty())
        return Finish(deletedSome_ ? TARNE_STATUS_SUCCESS : TARNE_STATUS_NOT_FOUND);
      if (found.size() > kRowsPerTransaction) found.resize(kRowsPerTransaction);
    }
    for (const EntryKey &row : found) DeleteRowKeys(txn_, row);
    const bool more = !update && found.size() == kRowsPerTransaction;
    SendTxn([this, update, more](bool succeeded) {
      if (!succeeded) {
        if (std::chrono::steady_clock::now() - firstTry_ < kContentionLimit) return ReadEntry();
        return Finish(TARNE_STATUS_BUSY);
      }
      if (update) {
        applied_.storedRevision = key_.revision;
        return Finish(TARNE_STATUS_SUCCESS);
      }
      deletedSome_ = true;
      if (more) return ReadEntry();
      Finish(TARNE_STATUS_SUCCESS);
    });
  }

  static bool MatchesRows(const MatchCriteria &rows, const EntryKey &row) {
    if (rows.owner && !SameUuid(*rows.owner, row.owner)) return false;
    if (row.type != rows.type.value_or(row.type)) return false;
    if (rows.revision && *rows.revision != row.revision) return false;
    return SameUuid(*rows.cluster, row.cluster);
  }

  void SendTxn(std::function<void(bool)> then) {
    // A retry may start from inside the continuation, so the continuation travels with the
    // call rather than living in this object.
    NewContext();
    mayHaveCommitted_ = true;
    store_.client_->TxnAsync(context_.get(), &txn_, &txnResponse_,
                             [this, then = std::move(then)](const grpc::Status &status) {
                               if (!status.ok()) return Finish(RefusalStatus(status));
                               then(txnResponse_.succeeded());
                             });
  }

  // A call's context stays until the operation ends: the next call may start inside the
  // previous one's completion, which still runs on its context.
  void NewContext() {
    if (context_ != nullptr) used_.push_back(std::move(context_));
    context_ = std::make_unique<grpc::ClientContext>();
  }

  void Finish(PEK_ReturnStatus status) {
    applied_.status = status;
    finished_();
  }

  EtcdStore &store_;
  AppliedUpdate &applied_;
  std::function<void()> finished_;
  EntryKey key_;
  etcd::KeyRange range_;
  std::unique_ptr<grpc::ClientContext> context_;
  std::vector<std::unique_ptr<grpc::ClientContext>> used_;
  pb::RangeRequest rangeRequest_;
  pb::RangeResponse rangeResponse_;
  pb::TxnRequest txn_;
  pb::TxnResponse txnResponse_;
  const std::chrono::steady_clock::time_point firstTry_ = std::chrono::steady_clock::now();
  bool deletedSome_ = false;
  bool mayHaveCommitted_ = false;
};

// Adds and single-row deletions of one wave in one transaction: one commit of the cluster
// instead of one per request. When the transaction fails its compares (an entry to add exists
// already, a row to delete is gone), each request is tried alone.
class EtcdStore::SharedWrites {
 public:
  SharedWrites(EtcdStore &store, std::vector<Operation *> adds)
      : store_(store), adds_(std::move(adds)) {}

  void Start() {
    for (const Operation *add : adds_) add->AppendShared(txn_);
    store_.client_->TxnAsync(&context_, &txn_, &response_, [this](const grpc::Status &status) {
      // Nothing of this object is used once the last request finished.
      const std::vector<Operation *> adds = adds_;
      if (status.ok() && !response_.succeeded()) {
        for (Operation *add : adds) add->Start();
        return;
      }
      const PEK_ReturnStatus outcome =
          status.ok() ? PEK_ReturnStatus{TARNE_STATUS_SUCCESS} : RefusalStatus(status);
      for (Operation *add : adds) add->SharedOutcome(outcome);
    });
  }

 private:
  EtcdStore &store_;
  std::vector<Operation *> adds_;
  grpc::ClientContext context_;
  pb::TxnRequest txn_;
  pb::TxnResponse response_;
};

bool EtcdStore::ApplyBatch(std::span<AppliedUpdate> batch) {
  bool mayHaveCommitted = false;
  size_t next = 0;
  while (next < batch.size()) {
    // A wave: the requests up to the first one that must wait for one already in it.
    WaveConflicts conflicts;
    size_t end = next;
    while (end < batch.size() &&
           conflicts.Admit(batch[end].request, KeyOfRequest(batch[end].request))) {
      ++end;
    }
    std::mutex mutex;
    std::condition_variable allDone;
    size_t running = end - next;
    std::vector<std::unique_ptr<Operation>> wave;
    wave.reserve(running);
    for (size_t i = next; i < end; ++i) {
      wave.push_back(std::make_unique<Operation>(*this, batch[i], [&] {
        std::lock_guard lock(mutex);
        if (--running == 0) allDone.notify_all();
      }));
    }
    // The wave's adds and single-row deletions go in shared transactions, as many as one may
    // hold; the rest alone.
    std::vector<std::unique_ptr<SharedWrites>> shared;
    std::vector<Operation *> alone;
    std::vector<Operation *> group;
    size_t groupBytes = 0;
    const auto closeGroup = [&] {
      if (group.size() == 1) alone.push_back(group.front());
      if (group.size() > 1) shared.push_back(std::make_unique<SharedWrites>(*this, group));
      group.clear();
      groupBytes = 0;
    };
    for (const std::unique_ptr<Operation> &operation : wave) {
      const std::optional<size_t> bytes = operation->SharableBytes();
      if (!bytes) {
        alone.push_back(operation.get());
        continue;
      }
      if (group.size() == kRowsPerTransaction ||
          groupBytes + *bytes > kEtcdMaxRequestBytes - kRequestOverhead) {
        closeGroup();
      }
      group.push_back(operation.get());
      groupBytes += *bytes;
    }
    closeGroup();
    for (const std::unique_ptr<SharedWrites> &adds : shared) adds->Start();
    for (Operation *operation : alone) operation->Start();
    {
      std::unique_lock lock(mutex);
      allDone.wait(lock, [&] { return running == 0; });
    }
    for (const std::unique_ptr<Operation> &operation : wave) {
      mayHaveCommitted = mayHaveCommitted || operation->MayHaveCommitted();
    }
    next = end;
  }
  return mayHaveCommitted;
}

}  // namespace olva::dir
