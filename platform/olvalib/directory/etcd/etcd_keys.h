// The keys of entry rows in an etcd directory. etcd keeps its keys sorted byte by byte, so
// each row is stored under fixed-width keys whose columns come in a listing order: a range
// read of etcd then gives the matches in the directory's order, as the SQLite indexes do.
#ifndef OLVALIB_DIRECTORY_ETCD_KEYS_H
#define OLVALIB_DIRECTORY_ETCD_KEYS_H

#include <optional>
#include <string>
#include <string_view>

#include "directory/entry_key.h"
#include "directory/match_criteria.h"

namespace olva::dir::etcd {

// The digits a row key writes its columns in.
inline constexpr std::string_view kKeyDigits = "0123456789abcdef";

// The beginning of every key of the directory under a location's prefix: the prefix with each
// '%' written %25 and each '/' written %2F, then '/'. The escaped prefix holds no '/', so a
// key's first '/' ends it, and no directory's keys can begin with another's key prefix,
// whatever the two prefixes are (team/prod and team/prod/eu among them). A prefix without
// '%' or '/', the default among them, keeps the layout it always had.
std::string DirectoryKeyPrefix(std::string_view prefix);
// The key prefix of the earlier layout, which took the location's prefix as it was.
std::string EarlierKeyPrefix(std::string_view prefix);
// Whether keys under the earlier key prefix can only be a directory of the earlier layout: the
// prefix has a '/' (no current key prefix has one before its end), or a '%' that is not one
// of the escapes (no current key prefix has such a '%'). Under any other prefix the earlier
// keys are either the same as the current ones or those of the prefix the escapes stand for.
bool EarlierLayoutDistinct(std::string_view prefix);

// The length of every row key under a key prefix.
size_t RowKeyLength(std::string_view keyPrefix);

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

// The keys of one order that can be row keys: from the lowest row key to just past the highest
// (all digits 0 to all digits f), so that keys of another shape under the order's tag (an
// earlier layout's nested directory, say) mostly fall outside, and are skipped when not.
KeyRange OrderRange(std::string_view prefix, const ColumnOrder &order);

// The keys, in the order MatchOrder(criteria) gives, that hold every match of the criteria
// after the cursor (all of them without one). The fixed columns that lead the order narrow
// the range; the others are the reader's to compare. Within the order's range.
KeyRange MatchRange(std::string_view prefix, const MatchCriteria &criteria,
                    const std::optional<EntryKey> &after);

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_KEYS_H
