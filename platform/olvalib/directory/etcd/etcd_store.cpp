#include "etcd_store.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "client/tarne_status_codes.h"
#include "directory/uuid_util.h"
#include "etcd_key_span.h"
#include "etcd_keys.h"
#include "etcd_maintenance.h"
#include "etcd_watch.h"

namespace olva::dir {
namespace {

// Rows read per range request of a listing or a snapshot: the first request reads a few,
// the next ones as many as fill about kListingBytes at the rows' size so far.
constexpr uint32_t kMinimumPage = 64;
constexpr uint32_t kFirstPage = 512;
// How many times a snapshot or a check begins again when the history compacted its revision
// away.
constexpr int kMomentAttempts = 5;
// How long a range request of rows may take, answers from every member refused or late
// included. A caller sees a failed read as the end of the rows (tarne-tool's find prints a
// shorter or empty list and succeeds), so a read rides out what other requests give up on: a
// leader election, or members busy compacting the history of millions of keys (40 s each
// minute under load; a listing of a million entries found none at all with 5 s).
constexpr std::chrono::seconds kRowReadDeadline{30};

std::string FormatKey(const std::string &keyPrefix) {
  return keyPrefix + "format";
}

// Whether a directory of the earlier key layout, which took the prefix unescaped, is under the
// prefix.
bool EarlierLayoutThere(etcd::Client &client, const std::string &prefix) {
  if (!etcd::EarlierLayoutDistinct(prefix)) return false;
  etcd::pb::RangeRequest request;
  request.set_key(FormatKey(etcd::EarlierKeyPrefix(prefix)));
  request.set_count_only(true);
  etcd::pb::RangeResponse response;
  const grpc::Status status = client.Range(
      request, &response, std::chrono::steady_clock::now() + etcd::kFirstAnswerDeadline);
  return status.ok() && response.count() > 0;
}

std::string EarlierLayoutMessage(const std::string &prefix) {
  return "the directory under " + prefix + " has the earlier key layout (keys under " + prefix +
         "/): move it with tarne-admin upgrade";
}

bool Matches(const MatchCriteria &criteria, const EntryKey &key) {
  if (criteria.uuid && !SameUuid(*criteria.uuid, key.uuid)) return false;
  if (criteria.owner && !SameUuid(*criteria.owner, key.owner)) return false;
  if (criteria.type && *criteria.type != key.type) return false;
  if (criteria.revision && !criteria.latest && *criteria.revision != key.revision) return false;
  if (criteria.cluster && !SameUuid(*criteria.cluster, key.cluster)) return false;
  return true;
}

bool SameEntry(const EntryKey &a, const EntryKey &b) {
  return SameUuid(a.uuid, b.uuid) && SameUuid(a.owner, b.owner) && a.type == b.type;
}

// The stored value as a row; false when it is not a header and its payload.
bool RowOf(const EntryKey &key, const std::string &stored, RowView *row) {
  if (stored.size() < sizeof(TarneEntry)) return false;
  TarneEntry header;
  std::memcpy(&header, stored.data(), sizeof header);
  if (header.valueLen != stored.size() - sizeof header) return false;
  const auto *bytes = reinterpret_cast<const uint8_t *>(stored.data());
  *row = RowView{key, {bytes, sizeof header}, {bytes + sizeof header, header.valueLen}};
  return true;
}

uint32_t NextPageRows(const etcd::pb::RangeResponse &response) {
  size_t bytes = 0;
  for (const mvccpb::KeyValue &stored : response.kvs())
    bytes += stored.key().size() + stored.value().size();
  if (bytes == 0) return kListingRows;
  const size_t rows = kListingBytes / (bytes / static_cast<size_t>(response.kvs_size()) + 1);
  return static_cast<uint32_t>(std::clamp<size_t>(rows, kMinimumPage, kListingRows));
}

// Hands rows to a scan's sink until it has had limit of them or declines one.
class Delivery {
 public:
  Delivery(const RowSink &sink, uint32_t limit) : sink_(sink), limit_(limit) {}
  // Failure: the stored value is not a row.
  PEK_ReturnStatus Deliver(const EntryKey &key, const std::string &stored) {
    RowView row;
    if (!RowOf(key, stored, &row)) return TARNE_STATUS_FAILURE;
    if (!sink_(row) || ++delivered_ == limit_) done_ = true;
    return TARNE_STATUS_SUCCESS;
  }
  bool Done() const { return done_; }

 private:
  const RowSink &sink_;
  uint32_t limit_;
  uint32_t delivered_ = 0;
  bool done_ = false;
};

// The rows of one entry, (uuid, owner, type), held until its last row is read: a row is its
// sub-cluster's latest when no later row of the entry is in the same sub-cluster. Rows before
// a cursor do not matter: older revisions come first.
class LatestFilter {
 public:
  PEK_ReturnStatus Add(const EntryKey &key, const std::string &stored, Delivery &delivery) {
    PEK_ReturnStatus status = TARNE_STATUS_SUCCESS;
    if (!rows_.empty() && !SameEntry(rows_.front().first, key)) status = Flush(delivery);
    rows_.emplace_back(key, stored);
    return status;
  }
  PEK_ReturnStatus Flush(Delivery &delivery) {
    for (size_t i = 0; i < rows_.size() && !delivery.Done(); ++i) {
      const bool superseded = std::any_of(
          rows_.begin() + static_cast<ptrdiff_t>(i) + 1, rows_.end(),
          [&](const auto &later) { return SameUuid(later.first.cluster, rows_[i].first.cluster); });
      if (superseded) continue;
      const PEK_ReturnStatus status = delivery.Deliver(rows_[i].first, rows_[i].second);
      if (status != TARNE_STATUS_SUCCESS) return status;
    }
    rows_.clear();
    return TARNE_STATUS_SUCCESS;
  }

 private:
  std::vector<std::pair<EntryKey, std::string>> rows_;
};

}  // namespace

std::unique_ptr<EtcdStore> EtcdStore::Open(const ClusterLocation &location, const TlsFiles &tls,
                                           std::string *error) {
  std::unique_ptr<etcd::Client> client = etcd::Client::Connect(location, tls, error);
  if (client == nullptr) return nullptr;
  std::string keyPrefix = etcd::DirectoryKeyPrefix(location.prefix);
  etcd::pb::RangeRequest request;
  request.set_key(FormatKey(keyPrefix));
  etcd::pb::RangeResponse response;
  const grpc::Status status = client->Range(
      request, &response, std::chrono::steady_clock::now() + etcd::kFirstAnswerDeadline);
  if (!status.ok()) {
    *error = "no member answered: " + status.error_message();
    return nullptr;
  }
  if (response.kvs_size() == 0) {
    *error = EarlierLayoutThere(*client, location.prefix) ? EarlierLayoutMessage(location.prefix)
                                                          : "no directory under " + location.prefix;
    return nullptr;
  }
  if (response.kvs(0).value() != kEtcdFormatValue) {
    *error = "not a directory of this format under " + location.prefix;
    return nullptr;
  }
  return std::unique_ptr<EtcdStore>(new EtcdStore(std::move(client), std::move(keyPrefix)));
}

PEK_ReturnStatus EtcdStore::CreateDirectory(const ClusterLocation &location, const TlsFiles &tls,
                                            bool force, std::string *error,
                                            int64_t *createdRevision) {
  std::unique_ptr<etcd::Client> client = etcd::Client::Connect(location, tls, error);
  if (client == nullptr) return TARNE_STATUS_FAILURE;
  const std::string keyPrefix = etcd::DirectoryKeyPrefix(location.prefix);
  const std::string earlierPrefix = etcd::EarlierKeyPrefix(location.prefix);
  const std::string formatKey = FormatKey(keyPrefix);
  {
    // Tells an unreachable cluster from a refused write, within the first deadline.
    etcd::pb::RangeRequest probe;
    probe.set_key(formatKey);
    etcd::pb::RangeResponse answer;
    const grpc::Status status = client->Range(
        probe, &answer, std::chrono::steady_clock::now() + etcd::kFirstAnswerDeadline);
    if (!status.ok()) {
      *error = "no member answered: " + status.error_message();
      return TARNE_STATUS_NO_CONNECTION;
    }
    // A host that joins writes nothing, so it joins a cluster that refuses writes too.
    if (!force && answer.kvs_size() != 0) {
      *error = "a directory exists under " + location.prefix;
      return TARNE_STATUS_ALREADY_EXISTS;
    }
    // A new, empty directory would hide the rows of the earlier one.
    if (!force && answer.kvs_size() == 0 && EarlierLayoutThere(*client, location.prefix)) {
      *error = EarlierLayoutMessage(location.prefix);
      return TARNE_STATUS_FAILURE;
    }
  }
  etcd::pb::TxnRequest request;
  if (!force) {
    etcd::pb::Compare *absent = request.add_compare();
    absent->set_key(formatKey);
    absent->set_target(etcd::pb::Compare::CREATE);
    absent->set_result(etcd::pb::Compare::EQUAL);
    absent->set_create_revision(0);
  } else {
    // The directory's rows in every order, and those of the earlier layout's directory under
    // the same prefix: key ranges no other directory's keys fall in. The marker is put below.
    const auto deleteRange = [&](const etcd::KeyRange &range) {
      etcd::pb::DeleteRangeRequest *rows = request.add_success()->mutable_request_delete_range();
      rows->set_key(range.begin);
      rows->set_range_end(range.end);
    };
    for (const ColumnOrder &order : kEtcdOrders) deleteRange(etcd::OrderRange(keyPrefix, order));
    if (etcd::EarlierLayoutDistinct(location.prefix)) {
      for (const ColumnOrder &order : kEtcdOrders)
        deleteRange(etcd::OrderRange(earlierPrefix, order));
      request.add_success()->mutable_request_delete_range()->set_key(FormatKey(earlierPrefix));
    }
  }
  etcd::pb::PutRequest *mark = request.add_success()->mutable_request_put();
  mark->set_key(formatKey);
  mark->set_value(std::string(kEtcdFormatValue));
  etcd::pb::TxnResponse response;
  const grpc::Status status = client->Txn(request, &response);
  if (!status.ok()) {
    *error = "cannot write: " + status.error_message();
    return TARNE_STATUS_FAILURE;
  }
  if (!response.succeeded()) {
    *error = "a directory exists under " + location.prefix;
    return TARNE_STATUS_ALREADY_EXISTS;
  }
  if (createdRevision != nullptr) *createdRevision = response.header().revision();
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus EtcdStore::RemoveCreatedDirectory(const ClusterLocation &location,
                                                   const TlsFiles &tls, int64_t createdRevision,
                                                   std::string *markerKey, std::string *error) {
  const std::string keyPrefix = etcd::DirectoryKeyPrefix(location.prefix);
  *markerKey = FormatKey(keyPrefix);
  std::unique_ptr<etcd::Client> client = etcd::Client::Connect(location, tls, error);
  if (client == nullptr) return TARNE_STATUS_FAILURE;
  etcd::pb::TxnRequest request;
  etcd::pb::Compare *ours = request.add_compare();
  ours->set_key(*markerKey);
  ours->set_target(etcd::pb::Compare::CREATE);
  ours->set_result(etcd::pb::Compare::EQUAL);
  ours->set_create_revision(createdRevision);
  for (const ColumnOrder &order : kEtcdOrders) {
    const etcd::KeyRange range = etcd::OrderRange(keyPrefix, order);
    etcd::pb::DeleteRangeRequest *rows = request.add_success()->mutable_request_delete_range();
    rows->set_key(range.begin);
    rows->set_range_end(range.end);
  }
  request.add_success()->mutable_request_delete_range()->set_key(*markerKey);
  etcd::pb::TxnResponse response;
  const grpc::Status status = client->Txn(request, &response);
  if (!status.ok()) {
    *error = "cannot write: " + status.error_message();
    return TARNE_STATUS_FAILURE;
  }
  if (!response.succeeded()) {
    *error = "the directory's marker changed meanwhile";
    return TARNE_STATUS_NOT_FOUND;
  }
  return TARNE_STATUS_SUCCESS;
}

uint64_t EtcdStore::MaxPayload() const {
  // The largest request: an update's three puts of the value, with its compare and the
  // deletions of older revisions filling the rest of the transaction's keys.
  const uint64_t keys = kKeysPerTransaction * KeyOperationBytes();
  const uint64_t room = kEtcdMaxRequestBytes - kRequestOverhead;
  if (keys >= room) return 0;
  const uint64_t value = (room - keys) / kEtcdOrders.size();
  return value > sizeof(TarneEntry) ? value - sizeof(TarneEntry) : 0;
}

PEK_ReturnStatus EtcdStore::Scan(const MatchCriteria &criteria,
                                 const std::optional<EntryKey> &after, uint32_t limit,
                                 const RowSink &sink) {
  if (limit == 0 || (criteria.type && *criteria.type > kTypeMask)) return TARNE_STATUS_SUCCESS;
  Delivery delivery(sink, limit);
  LatestFilter latest;
  PEK_ReturnStatus delivered = TARNE_STATUS_SUCCESS;
  ReadMoment moment{.mayMove = true};
  const PEK_ReturnStatus read =
      ReadRows(MatchOrder(criteria), etcd::MatchRange(keyPrefix_, criteria, after), limit, moment,
               [&](const std::string &, const EntryKey &key, const std::string &stored) {
                 if (!Matches(criteria, key)) return true;
                 delivered = criteria.latest ? latest.Add(key, stored, delivery)
                                             : delivery.Deliver(key, stored);
                 return delivered == TARNE_STATUS_SUCCESS && !delivery.Done();
               });
  if (read != TARNE_STATUS_SUCCESS) return read;
  if (delivered != TARNE_STATUS_SUCCESS || delivery.Done()) return delivered;
  return latest.Flush(delivery);
}

std::unique_ptr<ChangeWatch> EtcdStore::WatchChanges() {
  // Every change writes the table order's key, so watching those keys sees every change.
  etcd::KeyRange range = etcd::OrderRange(keyPrefix_, kTableOrder);
  return etcd::WatchRange(*client_, std::move(range.begin), std::move(range.end));
}

std::optional<uint64_t> EtcdStore::CountEntries() {
  const etcd::KeyRange range = etcd::OrderRange(keyPrefix_, kTableOrder);
  etcd::pb::RangeRequest request;
  request.set_key(range.begin);
  request.set_range_end(range.end);
  request.set_count_only(true);
  etcd::pb::RangeResponse response;
  if (!client_->Range(request, &response).ok()) return std::nullopt;
  return static_cast<uint64_t>(response.count());
}

PEK_ReturnStatus EtcdStore::ReadRows(const ColumnOrder &order, etcd::KeyRange range,
                                     uint32_t wanted, ReadMoment &moment, const RowVisitor &visit) {
  if (range.Empty()) return TARNE_STATUS_SUCCESS;
  const std::string start = range.begin;
  etcd::KeyDensity density = spans_.Density(range);
  std::string reached = range.begin;  // every row before it was visited
  // Keeps what this read learnt for the reads that continue it (the next page of a listing).
  const auto done = [&](PEK_ReturnStatus status) {
    spans_.Remember(range.end, start, reached, density);
    return status;
  };
  etcd::pb::RangeRequest request;
  uint32_t limit = std::clamp(wanted, kMinimumPage, kFirstPage);
  uint64_t widen = 1;  // how much farther than the density says: grows over a gap
  bool sparseBefore = false;
  request.set_revision(moment.revision);
  for (;;) {
    // Reaches the rows the limit asks for and a quarter more, at the density seen so far.
    const uint64_t spanRows = (limit + uint64_t{limit} / 4) * widen;
    std::string end = spanRows > UINT32_MAX ? std::string()
                                            : etcd::KeyAfterRows(range.begin, density,
                                                                 static_cast<uint32_t>(spanRows));
    const bool bounded = !end.empty() && end < range.end;
    if (!bounded) end = range.end;
    request.set_key(range.begin);
    request.set_range_end(end);
    request.set_limit(limit);
    etcd::pb::RangeResponse response;
    const grpc::Status read =
        client_->Range(request, &response, std::chrono::steady_clock::now() + kRowReadDeadline);
    if (!read.ok()) {
      // The newest revision is never compacted: one more request at it, from the row reached.
      if (etcd::HistoryCompacted(read) && moment.mayMove && request.revision() != 0) {
        request.set_revision(0);
        continue;
      }
      moment.compacted = etcd::HistoryCompacted(read);
      return done(TARNE_STATUS_FAILURE);
    }
    // The later requests are read at the first one's revision: one moment for the whole read.
    request.set_revision(response.header().revision());
    moment.revision = request.revision();
    for (const mvccpb::KeyValue &stored : response.kvs()) {
      // A key of another shape is no row of this directory's: never read as one.
      const std::optional<EntryKey> key = etcd::ParseRowKey(keyPrefix_, order, stored.key());
      reached = stored.key() + '\0';
      if (!key) continue;
      if (!visit(stored.key(), *key, stored.value())) return done(TARNE_STATUS_SUCCESS);
    }
    const auto rows = static_cast<uint32_t>(response.kvs_size());
    if (response.more() && rows != 0) {
      // Measured between the rows themselves: the range may have begun before a gap.
      const std::string &last = response.kvs(static_cast<int>(rows) - 1).key();
      density = rows > 1 ? etcd::MeasureDensity(response.kvs(0).key(), last, rows - 1)
                         : etcd::MeasureDensity(range.begin, last, rows);
      widen = 1;
      sparseBefore = false;
      range.begin = reached;
    } else if (bounded) {
      // The whole bounded range was read. Few rows in it (a gap, or the last rows): the next
      // request reaches 20 times as far, then 320, 5,120... times as far as the one before,
      // so that a gap of any width costs a few requests and none walks the rest of a large
      // range (which a request to its end would, at every page).
      const bool sparse = rows < limit / 2;
      density = etcd::MeasureDensity(range.begin, end, std::max(rows, limit / 16));
      widen = sparse && sparseBefore ? std::max<uint64_t>(16, widen * widen) : 1;
      sparseBefore = sparse;
      range.begin = reached = end;
    } else {
      return done(TARNE_STATUS_SUCCESS);
    }
    if (rows != 0) limit = NextPageRows(response);
  }
}

etcd::KeyDensity EtcdStore::SpanMemory::Density(const etcd::KeyRange &range) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const bool continues = range.end == end_ && from_ <= range.begin && range.begin <= reached_;
  return continues ? density_ : etcd::KeyDensity{};
}

void EtcdStore::SpanMemory::Remember(const std::string &end, const std::string &from,
                                     const std::string &reached, const etcd::KeyDensity &density) {
  if (!density.Known()) return;  // a read of one page keeps what an earlier listing learnt
  const std::lock_guard<std::mutex> lock(mutex_);
  end_ = end;
  from_ = from;
  reached_ = reached;
  density_ = density;
}

PEK_ReturnStatus EtcdStore::AtOneMoment(const std::function<PEK_ReturnStatus(ReadMoment &)> &read,
                                        const std::function<bool()> &beginAgain) {
  PEK_ReturnStatus status = TARNE_STATUS_FAILURE;
  for (int attempt = 0; attempt < kMomentAttempts; ++attempt) {
    if (attempt > 0 && !beginAgain()) break;
    ReadMoment moment;
    status = read(moment);
    if (!moment.compacted) break;
  }
  return status;
}

PEK_ReturnStatus EtcdStore::ReadSnapshot(const RowSink &sink,
                                         const std::function<bool()> &beginAgain) {
  bool malformed = false;
  const PEK_ReturnStatus status = AtOneMoment(
      [&](ReadMoment &moment) {
        return ReadRows(kTableOrder, etcd::OrderRange(keyPrefix_, kTableOrder), UINT32_MAX, moment,
                        [&](const std::string &, const EntryKey &key, const std::string &stored) {
                          RowView row;
                          malformed = !RowOf(key, stored, &row);
                          return !malformed && sink(row);
                        });
      },
      beginAgain);
  if (malformed) return TARNE_STATUS_FAILURE;
  return status;
}

PEK_ReturnStatus EtcdStore::CheckOrders(const std::function<void(const std::string &)> &problem) {
  std::vector<std::string> found;
  // The orders are compared at one revision (a large directory on a busy cluster may see it
  // compacted away and begin again).
  const PEK_ReturnStatus status = AtOneMoment(
      [&](ReadMoment &moment) {
        return CompareOrders(moment, [&](std::string text) { found.push_back(std::move(text)); });
      },
      [&] {
        found.clear();
        return true;
      });
  if (status != TARNE_STATUS_SUCCESS) return status;
  for (const std::string &text : found) problem(text);
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus EtcdStore::CompareOrders(ReadMoment &moment,
                                          const std::function<void(std::string)> &problem) {
  struct Copies {
    size_t valueHash;
    size_t seen;  // copies of the other orders found
  };
  std::unordered_map<std::string, Copies> rows;
  PEK_ReturnStatus status =
      ReadRows(kTableOrder, etcd::OrderRange(keyPrefix_, kTableOrder), UINT32_MAX, moment,
               [&](const std::string &key, const EntryKey &, const std::string &stored) {
                 rows.emplace(key, Copies{std::hash<std::string>()(stored), 0});
                 return true;
               });
  if (status != TARNE_STATUS_SUCCESS) return status;
  for (size_t i = 1; i < kEtcdOrders.size(); ++i) {
    status =
        ReadRows(kEtcdOrders[i], etcd::OrderRange(keyPrefix_, kEtcdOrders[i]), UINT32_MAX, moment,
                 [&](const std::string &key, const EntryKey &row, const std::string &stored) {
                   const auto found = rows.find(etcd::RowKey(keyPrefix_, kTableOrder, row));
                   if (found == rows.end()) {
                     problem(key + ": no such row in the table order");
                   } else if (found->second.valueHash != std::hash<std::string>()(stored)) {
                     problem(key + ": differs from " + found->first);
                   } else {
                     ++found->second.seen;
                   }
                   return true;
                 });
    if (status != TARNE_STATUS_SUCCESS) return status;
  }
  for (const auto &[key, copies] : rows) {
    if (copies.seen != kEtcdOrders.size() - 1)
      problem(key + ": a copy in an index order is missing");
  }
  return TARNE_STATUS_SUCCESS;
}

}  // namespace olva::dir
