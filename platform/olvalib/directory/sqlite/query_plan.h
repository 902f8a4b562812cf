// How a query becomes SQL: what it fixes, the order its matches come in, and where a next
// lookup resumes (keyset pagination: the cursor is the key of the previous match).
#ifndef OLVALIB_DIRECTORY_QUERY_PLAN_H
#define OLVALIB_DIRECTORY_QUERY_PLAN_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "client/tarne_client.h"
#include "directory/entry_key.h"
#include "directory_schema.h"

namespace olva::dir {

// A query with the self marker and the default sub-cluster resolved; an absent field is a
// wildcard.
struct MatchSpec {
  std::optional<OlvaUUID> uuid;
  std::optional<OlvaUUID> owner;
  std::optional<uint8_t> type;  // the full query byte: above 127 it matches nothing
  std::optional<uint64_t> revision;
  bool latest = false;              // only the highest revision of each entry
  std::optional<OlvaUUID> cluster;  // absent: every sub-cluster
};

MatchSpec ResolveQuery(const TarneQuery &query, const DirectoryInfo &info);

enum class Column : uint8_t { kUuid, kOwner, kType, kRevision, kCluster };
inline constexpr size_t kColumnCount = 5;
using ColumnOrder = std::array<Column, kColumnCount>;

// The orders the directory keeps its rows in: the table's, and its two indexes'.
inline constexpr ColumnOrder kTableOrder{Column::kUuid, Column::kOwner, Column::kType,
                                         Column::kRevision, Column::kCluster};
inline constexpr ColumnOrder kOwnerIndexOrder{Column::kOwner, Column::kType, Column::kUuid,
                                              Column::kRevision, Column::kCluster};
inline constexpr ColumnOrder kTypeIndexOrder{Column::kType, Column::kUuid, Column::kOwner,
                                             Column::kRevision, Column::kCluster};

// The order of a query's matches: the order of the table or index that serves it, so that
// the database streams them without sorting.
ColumnOrder MatchOrder(const MatchSpec &criteria);

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

Resume ResumeAfter(const MatchSpec &criteria, const EntryKey &cursor);

// SELECT uuid, owner, type, revision, cluster, header, value with the parameters ?1 to ?5 for
// the fixed fields, ?6 to ?10 for the cursor's columns and ?11 for the row limit.
std::string MatchSql(const MatchSpec &criteria, const Resume &resume);
// Distinguishes the statements MatchSql can produce, for the statement cache.
uint32_t MatchStatementKey(const MatchSpec &criteria, const Resume &resume);

inline constexpr int kFixedParameter = 1;   // + column
inline constexpr int kCursorParameter = 6;  // + column
inline constexpr int kLimitParameter = 11;

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_QUERY_PLAN_H
