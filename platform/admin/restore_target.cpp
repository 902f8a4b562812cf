#include "restore_target.h"

#include <vector>

#include "client/tarne_status_codes.h"
#include "directory/directory_location.h"
#include "directory/sqlite/entry_store.h"
#include "directory/uuid_util.h"

namespace olva::admin {
namespace {

// Room for the pages a large transaction changes, so that they reach the log once, at the
// commit, rather than spilled and rewritten along the way.
constexpr const char *kLargeCacheSql = "PRAGMA cache_size=-131072";  // KiB
// A cluster's batches: as many requests as the library's writer takes at once, and a bound on
// the payload copies held while they wait.
constexpr size_t kBatchEntries = 1024;
constexpr size_t kBatchBytes = 16 << 20;
// A cleanup that failed names this many of the entries left, then counts the rest.
constexpr size_t kMostNamed = 100;

// The message for a request of the load that failed with the status.
std::string LoadFailure(uint64_t number, const dir::EntryKey &key, PEK_ReturnStatus status,
                        const std::string &storeError) {
  if (status == TARNE_STATUS_ALREADY_EXISTS)
    return DescribeEntry(number, key) + " appears twice in the dump";
  if (status == TARNE_STATUS_LIMIT_EXCEEDED)
    return DescribeEntry(number, key) + " is larger than an entry may be";
  return "cannot write: " + storeError;
}

// The file: every entry inside one write transaction, which a failure rolls back whole.
class FileTarget final : public RestoreTarget {
 public:
  explicit FileTarget(std::unique_ptr<dir::Connection> connection)
      : store_(std::move(connection)) {}
  ~FileTarget() override {
    if (open_) store_.Rollback();
  }

  bool Begin(std::string *error) {
    open_ = store_.connection().Execute(kLargeCacheSql) && store_.Begin();
    if (!open_) *error = "cannot write: " + store_.connection().LastError();
    return open_;
  }

  std::optional<uint64_t> CountEntries(std::string *error) override {
    const std::optional<uint64_t> count = store_.CountEntries();
    if (!count) *error = "cannot read the directory: " + store_.connection().LastError();
    return count;
  }

  bool Add(uint64_t number, const dir::EntryKey &key, const TarneEntry &entry,
           std::string *error) override {
    const PEK_ReturnStatus status =
        store_.Insert(key, entry, {TarneEntry_Payload(&entry), entry.valueLen});
    if (status == TARNE_STATUS_SUCCESS) return true;
    *error = LoadFailure(number, key, status, store_.connection().LastError());
    return false;
  }

  bool Finish(std::string *error) override {
    if (store_.Commit()) {
      open_ = false;
      return true;
    }
    *error = "cannot commit: " + store_.connection().LastError();
    return false;
  }

  std::string Abandon() override {
    store_.Rollback();
    open_ = false;
    return "nothing was restored";
  }

 private:
  dir::EntryStore store_;
  bool open_ = false;
};

// A cluster: no transaction holds a whole dump, so the entries go in batches through the
// store, and a failed load deletes, as best it can, every entry it may have stored.
class ClusterTarget final : public RestoreTarget {
 public:
  explicit ClusterTarget(const OpenDirectory &directory) : directory_(directory) {}

  std::optional<uint64_t> CountEntries(std::string *error) override {
    const std::optional<uint64_t> count = directory_.store->CountEntries();
    if (!count) *error = "cannot read the directory";
    return count;
  }

  bool Add(uint64_t number, const dir::EntryKey &key, const TarneEntry &entry,
           std::string *error) override {
    pending_.push_back(
        {number, key, EntryRecord(entry, {TarneEntry_Payload(&entry), entry.valueLen})});
    pendingBytes_ += pending_.back().record.size();
    return (pending_.size() < kBatchEntries && pendingBytes_ < kBatchBytes) || Flush(error);
  }

  bool Finish(std::string *error) override { return Flush(error); }

  std::string Abandon() override {
    pending_.clear();
    std::vector<Loaded> left;
    for (size_t first = 0; first < loaded_.size(); first += kBatchEntries) {
      const size_t end = std::min(loaded_.size(), first + kBatchEntries);
      std::vector<std::vector<uint8_t>> records;
      std::vector<dir::AppliedUpdate> batch;
      records.reserve(end - first);
      for (size_t i = first; i < end; ++i) {
        TarneEntry header{};
        header.uuid = loaded_[i].key.uuid;
        header.owner = loaded_[i].key.owner;
        header.type = loaded_[i].key.type;
        header.revision = loaded_[i].key.revision;
        records.push_back(EntryRecord(header, {}));
        batch.push_back(Request(dir::UpdateRequest::Kind::kDelete, records.back(),
                                loaded_[i].key.cluster, directory_.info));
      }
      directory_.store->ApplyBatch(batch);
      for (size_t i = first; i < end; ++i) {
        const PEK_ReturnStatus status = batch[i - first].status;
        if (status != TARNE_STATUS_SUCCESS && status != TARNE_STATUS_NOT_FOUND) {
          left.push_back(loaded_[i]);
        }
      }
    }
    if (left.empty()) return "nothing was restored";
    std::string text = "removing what was loaded failed: " + std::to_string(left.size()) +
                       " of the " + std::to_string(loaded_.size()) +
                       " entries written may still be in the directory:";
    for (size_t i = 0; i < left.size() && i < kMostNamed; ++i) {
      text += "\n  " + DescribeEntry(left[i].number, left[i].key) + " in sub-cluster " +
              dir::UuidToText(left[i].key.cluster);
    }
    if (left.size() > kMostNamed) {
      text += "\n  and " + std::to_string(left.size() - kMostNamed) + " more";
    }
    return text;
  }

 private:
  struct Loaded {
    uint64_t number;
    dir::EntryKey key;
  };
  struct Pending {
    uint64_t number;
    dir::EntryKey key;
    std::vector<uint8_t> record;
  };

  // Writes the pending entries in one batch; remembers every one that may have been stored.
  bool Flush(std::string *error) {
    std::vector<dir::AppliedUpdate> batch;
    batch.reserve(pending_.size());
    for (Pending &entry : pending_) {
      batch.push_back(Request(dir::UpdateRequest::Kind::kAdd, entry.record, entry.key.cluster,
                              directory_.info));
    }
    if (!batch.empty()) directory_.store->ApplyBatch(batch);
    bool stored = true;
    for (size_t i = 0; i < batch.size(); ++i) {
      const PEK_ReturnStatus status = batch[i].status;
      const Pending &entry = pending_[i];
      // A request refused for itself changed nothing; one that failed with the store may
      // have been committed all the same.
      const bool refused = status == TARNE_STATUS_ALREADY_EXISTS ||
                           status == TARNE_STATUS_LIMIT_EXCEEDED ||
                           status == TARNE_STATUS_BAD_PARAMETER;
      if (!refused) loaded_.push_back({entry.number, entry.key});
      if (status != TARNE_STATUS_SUCCESS && stored) {
        *error = LoadFailure(entry.number, entry.key, status, StoreFailureText(status));
        stored = false;
      }
    }
    pending_.clear();
    pendingBytes_ = 0;
    return stored;
  }

  const OpenDirectory &directory_;
  std::vector<Pending> pending_;
  size_t pendingBytes_ = 0;
  std::vector<Loaded> loaded_;
};

}  // namespace

std::string DescribeEntry(uint64_t number, const dir::EntryKey &key) {
  return "entry " + std::to_string(number) + " (uuid " + dir::UuidToText(key.uuid) + ", owner " +
         dir::UuidToText(key.owner) + ", type " + std::to_string(key.type) + ", revision " +
         std::to_string(key.revision) + ")";
}

std::unique_ptr<RestoreTarget> OpenRestoreTarget(const std::string &location,
                                                 const OpenDirectory &directory,
                                                 std::string *error) {
  if (dir::IsClusterLocation(location)) return std::make_unique<ClusterTarget>(directory);
  std::unique_ptr<dir::Connection> connection =
      dir::Connection::Open(location, dir::Connection::OpenMode::kExisting, error);
  if (connection == nullptr) {
    *error = "cannot write: " + *error;
    return nullptr;
  }
  auto target = std::make_unique<FileTarget>(std::move(connection));
  if (!target->Begin(error)) return nullptr;
  return target;
}

}  // namespace olva::admin
