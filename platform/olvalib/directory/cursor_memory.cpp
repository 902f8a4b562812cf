#include "cursor_memory.h"

#include <array>
#include <cstring>

#include "uuid_util.h"

namespace olva::dir {
namespace {

// A listing needs two records (its own query and the exact re-read); a few more let a thread
// interleave listings.
constexpr size_t kRecords = 8;

struct Record {
  bool used = false;
  TarneQuery query{};
  EntryKey row;
};

struct Memory {
  std::array<Record, kRecords> records;
  size_t newest = 0;  // index of the most recent record
};

thread_local Memory memory;

bool SameQuery(const TarneQuery &a, const TarneQuery &b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameIdentity(const EntryKey &a, const EntryKey &b) {
  return SameUuid(a.uuid, b.uuid) && SameUuid(a.owner, b.owner) && a.type == b.type &&
         a.revision == b.revision;
}

// Visits the records from the newest to the oldest until the visitor returns true.
template <typename Visitor>
const Record *FindRecord(Visitor visitor) {
  for (size_t step = 0; step < kRecords; ++step) {
    const Record &record = memory.records[(memory.newest + kRecords - step) % kRecords];
    if (record.used && visitor(record)) return &record;
  }
  return nullptr;
}

}  // namespace

void RememberReturnedRow(const TarneQuery &query, const EntryKey &row) {
  // One record per query: a listing overwrites its own record as it moves on.
  for (Record &record : memory.records) {
    if (record.used && SameQuery(record.query, query)) record.used = false;
  }
  memory.newest = (memory.newest + 1) % kRecords;
  memory.records[memory.newest] = Record{true, query, row};
}

std::optional<OlvaUUID> RememberedCluster(const TarneQuery &query, const EntryKey &identity) {
  const Record *record = FindRecord([&](const Record &candidate) {
    return SameQuery(candidate.query, query) && SameIdentity(candidate.row, identity);
  });
  if (record == nullptr) {
    record =
        FindRecord([&](const Record &candidate) { return SameIdentity(candidate.row, identity); });
  }
  if (record == nullptr) return std::nullopt;
  return record->row.cluster;
}

std::optional<OlvaUUID> ClusterOfLastAllClustersRow(const EntryKey &identity) {
  const Record &last = memory.records[memory.newest];
  if (!last.used || (last.query.flags & TARNE_QUERY_ALL_CLUSTERS) == 0 ||
      !SameIdentity(last.row, identity)) {
    return std::nullopt;
  }
  return last.row.cluster;
}

}  // namespace olva::dir
