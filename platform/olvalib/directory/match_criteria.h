// What a query asks of a store: the fields it fixes, the key order its matches come in, and
// where a next lookup resumes (keyset pagination: the cursor is the key of the previous match).
// Every store gives the matches in the same order, so a listing moves between stores unchanged.
#ifndef OLVALIB_DIRECTORY_MATCH_CRITERIA_H
#define OLVALIB_DIRECTORY_MATCH_CRITERIA_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "client/tarne_client.h"
#include "directory_info.h"
#include "entry_key.h"

namespace olva::dir {

// A query with the self marker and the default sub-cluster resolved; an absent field is a
// wildcard.
struct MatchCriteria {
  std::optional<OlvaUUID> uuid;
  std::optional<OlvaUUID> owner;
  std::optional<uint8_t> type;  // the full query byte: above 127 it matches nothing
  std::optional<uint64_t> revision;
  bool latest = false;              // only the highest revision of each entry
  std::optional<OlvaUUID> cluster;  // absent: every sub-cluster
};

MatchCriteria ResolveQuery(const TarneQuery &query, const DirectoryInfo &info);

enum class Column : uint8_t { kUuid, kOwner, kType, kRevision, kCluster };
inline constexpr size_t kColumnCount = 5;
using ColumnOrder = std::array<Column, kColumnCount>;

// The key orders the directory keeps its rows in: by UUID, by owner and by type.
inline constexpr ColumnOrder kTableOrder{Column::kUuid, Column::kOwner, Column::kType,
                                         Column::kRevision, Column::kCluster};
inline constexpr ColumnOrder kOwnerIndexOrder{Column::kOwner, Column::kType, Column::kUuid,
                                              Column::kRevision, Column::kCluster};
inline constexpr ColumnOrder kTypeIndexOrder{Column::kType, Column::kUuid, Column::kOwner,
                                             Column::kRevision, Column::kCluster};

// Whether the query fixes the column.
bool IsFixed(const MatchCriteria &criteria, Column column);

// The order of a query's matches: the key order whose leading columns the query fixes, so
// that a store reads them as one range without sorting.
ColumnOrder MatchOrder(const MatchCriteria &criteria);

// Where the matches after a cursor begin.
struct Resume {
  enum class From : uint8_t {
    kStart,    // the cursor lies before every match
    kAfter,    // matches whose key is greater than the cursor in the columns from firstColumn
    kNothing,  // the cursor lies after every match
  };
  From from = From::kStart;
  size_t firstColumn = 0;  // index into the match order, for kAfter
};

Resume ResumeAfter(const MatchCriteria &criteria, const EntryKey &cursor);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_MATCH_CRITERIA_H
