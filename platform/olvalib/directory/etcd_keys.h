// The keys of entry rows in an etcd directory. etcd keeps its keys sorted byte by byte, so
// each row is stored under fixed-width keys whose columns come in a listing order: a range
// read of etcd then gives the matches in the directory's order, as the SQLite indexes do.
#ifndef OLVALIB_DIRECTORY_ETCD_KEYS_H
#define OLVALIB_DIRECTORY_ETCD_KEYS_H

#include <optional>
#include <string>
#include <string_view>

#include "entry_key.h"
#include "query_plan.h"

namespace olva::dir::etcd {

// PREFIX, a tag naming the order ('u' uuid first, 'o' owner first, 't' type first), '/',
// then the five columns in that order as lower-case hex: UUIDs 32 digits, the 7-bit type 2,
// the revision 16 (big-endian). Every row key of one order has the same length.
std::string RowKey(std::string_view prefix, const ColumnOrder &order, const EntryKey &key);
// The row a key of this order names; nothing for a key of another shape.
std::optional<EntryKey> ParseRowKey(std::string_view prefix, const ColumnOrder &order,
                                    std::string_view key);

// The first key after every key that begins with text.
std::string PrefixEnd(std::string text);

// Keys from begin (included) to end (excluded); empty when begin >= end.
struct KeyRange {
  std::string begin;
  std::string end;
  bool Empty() const { return begin >= end; }
};

// Every key of one order.
KeyRange OrderRange(std::string_view prefix, const ColumnOrder &order);

// The keys, in the order MatchOrder(criteria) gives, that hold every match of the criteria
// after the cursor (all of them without one). The fixed columns that lead the order narrow
// the range; the others are the reader's to compare.
KeyRange MatchRange(std::string_view prefix, const MatchSpec &criteria,
                    const std::optional<EntryKey> &after);

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_KEYS_H
