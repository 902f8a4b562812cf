#include "bulk_load.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "client/tarne_status_codes.h"
#include "uuid_util.h"

namespace olva::dir {
namespace {

// The batches: as many requests as the library's writer takes at once, and a bound on the
// payload copies held while they wait.
constexpr size_t kBatchEntries = 1024;
constexpr size_t kBatchBytes = 16 << 20;
// A cleanup that failed names this many of the entries left, then counts the rest.
constexpr size_t kMostNamed = 100;

class BatchedLoad final : public BulkLoad {
 public:
  BatchedLoad(DirectoryStore &store, const DirectoryInfo &info) : store_(store), info_(info) {}

  std::optional<uint64_t> CountEntries(std::string *error) override {
    const std::optional<uint64_t> count = store_.CountEntries();
    if (!count) *error = "cannot read the directory";
    return count;
  }

  bool Add(uint64_t number, const EntryKey &key, const TarneEntry &entry,
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
      std::vector<AppliedUpdate> batch;
      records.reserve(end - first);
      for (size_t i = first; i < end; ++i) {
        TarneEntry header{};
        header.uuid = loaded_[i].key.uuid;
        header.owner = loaded_[i].key.owner;
        header.type = loaded_[i].key.type;
        header.revision = loaded_[i].key.revision;
        records.push_back(EntryRecord(header, {}));
        batch.push_back(
            Request(UpdateRequest::Kind::kDelete, records.back(), loaded_[i].key.cluster, info_));
      }
      store_.ApplyBatch(batch);
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
              UuidToText(left[i].key.cluster);
    }
    if (left.size() > kMostNamed) {
      text += "\n  and " + std::to_string(left.size() - kMostNamed) + " more";
    }
    return text;
  }

 private:
  struct Loaded {
    uint64_t number;
    EntryKey key;
  };
  struct Pending {
    uint64_t number;
    EntryKey key;
    std::vector<uint8_t> record;
  };

  // Writes the pending entries in one batch; remembers every one that may have been stored.
  bool Flush(std::string *error) {
    std::vector<AppliedUpdate> batch;
    batch.reserve(pending_.size());
    for (Pending &entry : pending_) {
      batch.push_back(Request(UpdateRequest::Kind::kAdd, entry.record, entry.key.cluster, info_));
    }
    if (!batch.empty()) store_.ApplyBatch(batch);
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

  DirectoryStore &store_;
  const DirectoryInfo &info_;
  std::vector<Pending> pending_;
  size_t pendingBytes_ = 0;
  std::vector<Loaded> loaded_;
};

}  // namespace

std::unique_ptr<BulkLoad> MakeBatchedLoad(DirectoryStore &store, const DirectoryInfo &info) {
  return std::make_unique<BatchedLoad>(store, info);
}

std::string DescribeEntry(uint64_t number, const EntryKey &key) {
  return "entry " + std::to_string(number) + " (uuid " + UuidToText(key.uuid) + ", owner " +
         UuidToText(key.owner) + ", type " + std::to_string(key.type) + ", revision " +
         std::to_string(key.revision) + ")";
}

std::string LoadFailure(uint64_t number, const EntryKey &key, PEK_ReturnStatus status,
                        const std::string &storeError) {
  if (status == TARNE_STATUS_ALREADY_EXISTS)
    return DescribeEntry(number, key) + " appears twice in the dump";
  if (status == TARNE_STATUS_LIMIT_EXCEEDED)
    return DescribeEntry(number, key) + " is larger than an entry may be";
  return "cannot write: " + storeError;
}

std::string StoreFailureText(PEK_ReturnStatus status) {
  switch (status) {
    case TARNE_STATUS_BUSY:
      return "busy: another writer held the directory too long";
    case TARNE_STATUS_NO_CONNECTION:
      return "no connection: no member of the cluster answered";
    case TARNE_STATUS_LIMIT_EXCEEDED:
      return "limit exceeded";
    case TARNE_STATUS_QUOTA_EXCEEDED:
      return "quota exceeded: the cluster's space is exhausted (tarne-admin compact frees it)";
    default:
      char text[40];
      (void)std::snprintf(text, sizeof text, "failure (status 0x%08X)",
                          static_cast<unsigned>(status));
      return text;
  }
}

std::vector<uint8_t> EntryRecord(const TarneEntry &header, std::span<const uint8_t> payload) {
  std::vector<uint8_t> record(sizeof header + payload.size());
  std::memcpy(record.data(), &header, sizeof header);
  if (!payload.empty()) std::memcpy(record.data() + sizeof header, payload.data(), payload.size());
  return record;
}

AppliedUpdate Request(UpdateRequest::Kind kind, std::vector<uint8_t> &record,
                      const OlvaUUID &cluster, const DirectoryInfo &info) {
  AppliedUpdate applied;
  applied.request.kind = kind;
  applied.request.entry = reinterpret_cast<TarneEntry *>(record.data());
  applied.request.givenCluster = cluster;
  applied.request.cluster = cluster;
  applied.request.self = info.self;
  applied.entryLength = static_cast<uint32_t>(record.size());
  return applied;
}

}  // namespace olva::dir
