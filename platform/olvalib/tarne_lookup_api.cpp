// Lookups: one match at a time (first, then next), iteration over every match, and waits.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "directory/callback_scope.h"
#include "directory/change_wait.h"
#include "directory/cursor_memory.h"
#include "directory/held_entries.h"
#include "directory/library.h"
#include "directory/membership.h"
#include "directory/read_ahead.h"
#include "directory/uuid_util.h"

namespace {

using namespace olva::dir;

constexpr uint8_t kWildcardFlags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID |
                                   TARNE_QUERY_ANY_REVISION | TARNE_QUERY_LATEST_REVISION |
                                   TARNE_QUERY_ANY_TYPE | TARNE_QUERY_ALL_CLUSTERS;
// Past every sub-cluster of an entry: the continuation when a cursor's sub-cluster is unknown
// skips the entry's other sub-clusters rather than risk repeating a row.
constexpr OlvaUUID kAfterEveryCluster{{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                       0xff, 0xff, 0xff, 0xff, 0xff, 0xff}};
// An iteration holds at most this much before its visitor sees it.
constexpr uint32_t kPageRows = 256;
constexpr size_t kPageBytes = 4u << 20;

void CopyRow(const RowView &row, TarneEntry *buffer, uint32_t size) {
  std::memcpy(buffer, row.header.data(), sizeof(TarneEntry));
  const size_t room = size - sizeof(TarneEntry);
  const size_t copied = std::min(room, row.value.size());
  if (copied != 0) std::memcpy(TarneEntry_Payload(buffer), row.value.data(), copied);
}

// The first match of criteria after the cursor, into the buffer. Not found: none.
PEK_ReturnStatus ReadOne(const MatchCriteria &criteria, const std::optional<EntryKey> &cursor,
                         TarneEntry *buffer, uint32_t size, EntryKey *found) {
  bool matched = false;
  const PEK_ReturnStatus status =
      Library::Instance().Store().Scan(criteria, cursor, 1, [&](const RowView &row) {
        CopyRow(row, buffer, size);
        *found = row.key;
        matched = true;
        return false;
      });
  if (status != TARNE_STATUS_SUCCESS) return status;
  return matched ? TARNE_STATUS_SUCCESS : TARNE_STATUS_NOT_FOUND;
}

// As ReadOne, and keeps the matches that follow in this thread's read-ahead page.
PEK_ReturnStatus ReadAndReadAhead(const TarneQuery &query, const MatchCriteria &criteria,
                                  const std::optional<EntryKey> &cursor,
                                  const ReadAheadStamp &stamp, TarneEntry *buffer, uint32_t size,
                                  EntryKey *found) {
  ReadAhead &page = ThreadReadAhead();
  const PageSize pageSize = Library::Instance().Store().ListingPage();
  page.Begin(query, stamp, pageSize);
  bool matched = false;
  bool full = false;
  const PEK_ReturnStatus status =
      Library::Instance().Store().Scan(criteria, cursor, pageSize.rows, [&](const RowView &row) {
        if (!matched) {
          CopyRow(row, buffer, size);
          *found = row.key;
          matched = true;
        }
        full = !page.Add(row);
        return !full;
      });
  if (status != TARNE_STATUS_SUCCESS) {
    page.Forget();
    return status;
  }
  if (!full) page.MarkEnd();
  page.Served(matched ? 1 : 0, std::chrono::steady_clock::now());
  return matched ? TARNE_STATUS_SUCCESS : TARNE_STATUS_NOT_FOUND;
}

PEK_ReturnStatus FindOne(const TarneQuery *query, int32_t next, TarneEntry *buffer, uint32_t size,
                         bool everyCluster) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  if (query == nullptr || buffer == nullptr) return TARNE_STATUS_BAD_PARAMETER;
  if (size < sizeof(TarneEntry)) return TARNE_STATUS_BUFFER_TOO_SMALL;

  Library &library = Library::Instance();
  TarneQuery effective = *query;
  if (everyCluster) effective.flags |= TARNE_QUERY_ALL_CLUSTERS;
  MatchCriteria criteria = ResolveQuery(effective, library.Info());
  const bool exact = (query->flags & kWildcardFlags) == 0;
  const ReadAheadStamp stamp{library.Generation(), library.Updates().Commits(),
                             std::chrono::steady_clock::now()};
  EntryKey found;
  PEK_ReturnStatus status;
  if (next != 0) {
    EntryKey cursor = KeyOfHeader(*buffer);
    cursor.cluster = criteria.cluster
                         ? *criteria.cluster
                         : RememberedCluster(*query, cursor).value_or(kAfterEveryCluster);
    RowView row;
    switch (ThreadReadAhead().Next(*query, cursor, stamp, &row)) {
      case ReadAhead::Outcome::kRow:
        CopyRow(row, buffer, size);
        RememberReturnedRow(*query, row.key);
        return TARNE_STATUS_SUCCESS;
      case ReadAhead::Outcome::kNoMore:
        return TARNE_STATUS_NOT_FOUND;
      case ReadAhead::Outcome::kMiss:
        break;
    }
    status = exact ? ReadOne(criteria, cursor, buffer, size, &found)
                   : ReadAndReadAhead(*query, criteria, cursor, stamp, buffer, size, &found);
  } else {
    status = TARNE_STATUS_NOT_FOUND;
    // Re-reading the row an all-clusters lookup just returned, with an exact query, reads
    // that same row, whichever sub-cluster the query names.
    if (exact && query->type <= kTypeMask) {
      const EntryKey identity{query->uuid, *criteria.owner, query->type, query->revision, {}};
      if (const std::optional<OlvaUUID> cluster = ClusterOfLastAllClustersRow(identity)) {
        MatchCriteria same = criteria;
        same.cluster = *cluster;
        status = ReadOne(same, std::nullopt, buffer, size, &found);
      }
    }
    if (status == TARNE_STATUS_NOT_FOUND) {
      // An exact query has at most one match per sub-cluster: nothing worth reading ahead,
      // and the listing's page that it interrupts stays.
      status = exact
                   ? ReadOne(criteria, std::nullopt, buffer, size, &found)
                   : ReadAndReadAhead(*query, criteria, std::nullopt, stamp, buffer, size, &found);
    }
  }
  if (status == TARNE_STATUS_SUCCESS) RememberReturnedRow(*query, found);
  return status;
}

struct PageEntry {
  TarneEntry *entry;
  OlvaUUID cluster;
};

void ReleasePage(std::vector<PageEntry> &page, size_t from) {
  for (size_t i = from; i < page.size(); ++i) ReleaseHeld(page[i].entry);
  page.clear();
}

}  // namespace

extern "C" {

PEK_ReturnStatus TARNE_FindEntryForCluster(const TarneQuery *query, int32_t next,
                                           TarneEntry *buffer, uint32_t bufferSize,
                                           int32_t /*flags*/) {
  return FindOne(query, next, buffer, bufferSize, false);
}

PEK_ReturnStatus TARNE_FindEntryRF(const TarneQuery *query, int32_t next, TarneEntry *buffer,
                                   uint32_t bufferSize) {
  return FindOne(query, next, buffer, bufferSize, true);
}

PEK_ReturnStatus TARNE_ForEachEntryForCluster(const TarneQuery *query, TarneEntryVisitor visitor,
                                              void *context, int32_t /*a*/, int32_t /*b*/,
                                              int32_t /*c*/) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  if (query == nullptr || visitor == nullptr) return TARNE_STATUS_BAD_PARAMETER;
  const MatchCriteria criteria = ResolveQuery(*query, Library::Instance().Info());

  std::optional<EntryKey> cursor;
  std::vector<PageEntry> page;
  // At least the store's own listing page: a store far away answers few large reads best.
  const PageSize listing = Library::Instance().Store().ListingPage();
  const uint32_t pageRows = std::max(kPageRows, listing.rows);
  const size_t pageBytes = std::max(kPageBytes, listing.bytes);
  page.reserve(pageRows);
  for (;;) {
    // A page is read and its statement reset before any visitor runs: the visitor may wait
    // for the writer, so nothing of the database stays open across it.
    size_t bytes = 0;
    bool full = false;
    bool outOfMemory = false;
    const PEK_ReturnStatus status =
        Library::Instance().Store().Scan(criteria, cursor, pageRows, [&](const RowView &row) {
          TarneEntry *entry = HoldEntry(row.header, row.value);
          if (entry == nullptr) {
            outOfMemory = true;
            return false;
          }
          page.push_back({entry, row.key.cluster});
          cursor = row.key;
          bytes += sizeof(TarneEntry) + row.value.size();
          full = page.size() == pageRows || bytes >= pageBytes;
          return !full;
        });
    if (status != TARNE_STATUS_SUCCESS || outOfMemory) {
      ReleasePage(page, 0);
      if (outOfMemory) return TARNE_STATUS_OUT_OF_MEMORY;
      return status;
    }
    for (size_t i = 0; i < page.size(); ++i) {
      int32_t result;
      {
        const CallbackScope scope;
        result = visitor(context, page[i].entry,
                         static_cast<uint32_t>(sizeof(TarneEntry) + page[i].entry->valueLen),
                         page[i].cluster);
      }
      ReleaseHeld(page[i].entry);
      if (result != 0) {  // the visitor asked to stop
        ReleasePage(page, i + 1);
        return TARNE_STATUS_SUCCESS;
      }
    }
    page.clear();
    if (!full) return TARNE_STATUS_SUCCESS;
  }
}

PEK_ReturnStatus TARNE_WaitForEntryForCluster(const TarneQuery *query, uint32_t timeout,
                                              int32_t /*flags*/) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  if (query == nullptr) return TARNE_STATUS_BAD_PARAMETER;
  return WaitForMatch(ResolveQuery(*query, Library::Instance().Info()), timeout);
}

PEK_ReturnStatus TARNE_WaitForMembershipForCluster(uint32_t timeout, OlvaUUID cluster) {
  const Library::Operation operation;
  if (!operation.Admitted()) return TARNE_STATUS_NO_CONNECTION;
  MatchCriteria criteria;
  criteria.type = kMembershipType;
  criteria.cluster = IsNullUuid(cluster) ? Library::Instance().Info().clusters.front() : cluster;
  return WaitForMatch(criteria, timeout);
}

}  // extern "C"
