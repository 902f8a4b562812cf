#include "etcd_keys.h"

#include <array>
#include <numeric>

namespace olva::dir::etcd {
namespace {

constexpr std::array<size_t, kColumnCount> kColumnWidth{32, 32, 2, 16, 32};  // by Column
// The hex digits of a row key after its order's tag and '/'.
constexpr size_t kRowDigits = 32 + 32 + 2 + 16 + 32;
// A key prefix ends with '/', then comes the order's tag and '/'.
constexpr size_t kTagBytes = 2;
static_assert(std::accumulate(kColumnWidth.begin(), kColumnWidth.end(), size_t{0}) == kRowDigits);

char OrderTag(const ColumnOrder &order) {
  switch (order[0]) {
    case Column::kOwner:
      return 'o';
    case Column::kType:
      return 't';
    default:
      return 'u';
  }
}

void AppendHex(std::string &out, const uint8_t *bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out += kKeyDigits[bytes[i] >> 4];
    out += kKeyDigits[bytes[i] & 0xf];
  }
}

bool ReadHex(std::string_view text, uint8_t *bytes) {
  for (size_t i = 0; i < text.size() / 2; ++i) {
    const size_t high = kKeyDigits.find(text[2 * i]);
    const size_t low = kKeyDigits.find(text[2 * i + 1]);
    if (high == std::string_view::npos || low == std::string_view::npos) return false;
    bytes[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

void AppendColumn(std::string &out, Column column, const EntryKey &key) {
  switch (column) {
    case Column::kUuid:
      return AppendHex(out, key.uuid.bytes, sizeof key.uuid.bytes);
    case Column::kOwner:
      return AppendHex(out, key.owner.bytes, sizeof key.owner.bytes);
    case Column::kType:
      return AppendHex(out, &key.type, 1);
    case Column::kRevision: {
      const RevisionBytes revision = EncodeRevision(key.revision);
      return AppendHex(out, revision.data(), revision.size());
    }
    case Column::kCluster:
      return AppendHex(out, key.cluster.bytes, sizeof key.cluster.bytes);
  }
}

std::string OrderPrefix(std::string_view prefix, const ColumnOrder &order) {
  std::string out(prefix);
  out += OrderTag(order);
  out += '/';
  return out;
}

// The criteria's fixed value of a column, as a key would hold it; false when not fixed.
bool FixedColumn(const MatchCriteria &criteria, Column column, EntryKey *key) {
  switch (column) {
    case Column::kUuid:
      if (criteria.uuid) key->uuid = *criteria.uuid;
      return criteria.uuid.has_value();
    case Column::kOwner:
      if (criteria.owner) key->owner = *criteria.owner;
      return criteria.owner.has_value();
    case Column::kType:
      if (criteria.type) key->type = *criteria.type;
      return criteria.type.has_value();
    case Column::kRevision:
      // The latest revision is found among all of them.
      if (criteria.revision && !criteria.latest) key->revision = *criteria.revision;
      return criteria.revision.has_value() && !criteria.latest;
    case Column::kCluster:
      if (criteria.cluster) key->cluster = *criteria.cluster;
      return criteria.cluster.has_value();
  }
  return false;
}

// The keys that begin with lead, a row key's beginning, and can be row keys: lead followed by
// digits 0 only, to just past lead followed by digits f only.
KeyRange RowKeysFrom(std::string lead, size_t rowKeyLength) {
  const size_t rest = rowKeyLength > lead.size() ? rowKeyLength - lead.size() : 0;
  std::string end = PrefixEnd(lead + std::string(rest, 'f'));
  lead.append(rest, '0');
  return {std::move(lead), std::move(end)};
}

}  // namespace

std::string DirectoryKeyPrefix(std::string_view prefix) {
  std::string out;
  out.reserve(prefix.size() + 1);
  for (const char c : prefix) {
    if (c == '%') {
      out += "%25";
    } else if (c == '/') {
      out += "%2F";
    } else {
      out += c;
    }
  }
  out += '/';
  return out;
}

std::string EarlierKeyPrefix(std::string_view prefix) {
  std::string out(prefix);
  out += '/';
  return out;
}

bool EarlierLayoutDistinct(std::string_view prefix) {
  if (prefix.find('/') != std::string_view::npos) return true;
  for (size_t at = prefix.find('%'); at != std::string_view::npos; at = prefix.find('%', at + 1)) {
    const std::string_view escape = prefix.substr(at, 3);
    if (escape != "%25" && escape != "%2F") return true;
  }
  return false;
}

size_t RowKeyLength(std::string_view keyPrefix) {
  return keyPrefix.size() + kTagBytes + kRowDigits;
}

// The first key after every key that begins with text.
std::string PrefixEnd(std::string text) {
  while (!text.empty() && static_cast<uint8_t>(text.back()) == 0xff) text.pop_back();
  if (!text.empty()) text.back() = static_cast<char>(text.back() + 1);
  return text;
}

std::string RowKey(std::string_view prefix, const ColumnOrder &order, const EntryKey &key) {
  std::string out = OrderPrefix(prefix, order);
  for (Column column : order) AppendColumn(out, column, key);
  return out;
}

std::optional<EntryKey> ParseRowKey(std::string_view prefix, const ColumnOrder &order,
                                    std::string_view key) {
  const std::string head = OrderPrefix(prefix, order);
  if (key.size() != RowKeyLength(prefix) || !key.starts_with(head)) return std::nullopt;
  key.remove_prefix(head.size());
  EntryKey row;
  RevisionBytes revision{};
  for (Column column : order) {
    const size_t width = kColumnWidth[static_cast<size_t>(column)];
    const std::string_view text = key.substr(0, width);
    key.remove_prefix(width);
    bool read = false;
    switch (column) {
      case Column::kUuid:
        read = ReadHex(text, row.uuid.bytes);
        break;
      case Column::kOwner:
        read = ReadHex(text, row.owner.bytes);
        break;
      case Column::kType:
        read = ReadHex(text, &row.type) && row.type <= kTypeMask;
        break;
      case Column::kRevision:
        read = ReadHex(text, revision.data());
        break;
      case Column::kCluster:
        read = ReadHex(text, row.cluster.bytes);
        break;
    }
    if (!read) return std::nullopt;
  }
  row.revision = DecodeRevision(revision);
  return row;
}

KeyRange OrderRange(std::string_view prefix, const ColumnOrder &order) {
  return RowKeysFrom(OrderPrefix(prefix, order), RowKeyLength(prefix));
}

KeyRange MatchRange(std::string_view prefix, const MatchCriteria &criteria,
                    const std::optional<EntryKey> &after) {
  const ColumnOrder order = MatchOrder(criteria);
  std::string lead = OrderPrefix(prefix, order);
  EntryKey fixed;
  for (Column column : order) {
    if (!FixedColumn(criteria, column, &fixed)) break;
    AppendColumn(lead, column, fixed);
  }
  KeyRange range = RowKeysFrom(std::move(lead), RowKeyLength(prefix));
  if (after) {
    // The smallest key greater than the cursor's own.
    std::string next = RowKey(prefix, order, *after);
    next += '\0';
    if (next > range.begin) range.begin = std::move(next);
  }
  return range;
}

}  // namespace olva::dir::etcd
