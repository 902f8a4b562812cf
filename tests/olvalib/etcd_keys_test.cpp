// etcd row keys: their byte order must be the directory's listing order, a match range must
// hold exactly the rows a query fixes, after its cursor, and no directory's keys may fall
// among another's, whatever their prefixes.
#include "directory/etcd/etcd_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "directory/uuid_util.h"

namespace olva::test {
namespace {

using dir::Column;
using dir::EntryKey;
using dir::MatchCriteria;

constexpr std::string_view kPrefix = "dir/";

// Few values per column, with their extreme bytes, so that rows share leading columns.
EntryKey RandomKey(std::mt19937 &random) {
  const auto pick = [&](std::initializer_list<uint64_t> values) {
    return *(values.begin() + std::uniform_int_distribution<size_t>(0, values.size() - 1)(random));
  };
  const auto uuid = [&] {
    OlvaUUID value{};
    value.bytes[0] = static_cast<uint8_t>(pick({0x00, 0x7f, 0x80, 0xff}));
    value.bytes[15] = static_cast<uint8_t>(pick({0x00, 0x01, 0xff}));
    return value;
  };
  return {uuid(), uuid(), static_cast<uint8_t>(pick({0, 1, 14, 127})),
          pick({0, 1, 255, 256, UINT64_MAX}), uuid()};
}

// The column order compared field by field: the oracle the keys' bytes must agree with.
int CompareInOrder(const dir::ColumnOrder &order, const EntryKey &a, const EntryKey &b) {
  for (Column column : order) {
    int result = 0;
    switch (column) {
      case Column::kUuid:
        result = dir::CompareUuid(a.uuid, b.uuid);
        break;
      case Column::kOwner:
        result = dir::CompareUuid(a.owner, b.owner);
        break;
      case Column::kType:
        result = int(a.type) - int(b.type);
        break;
      case Column::kRevision:
        result = a.revision < b.revision ? -1 : (a.revision > b.revision ? 1 : 0);
        break;
      case Column::kCluster:
        result = dir::CompareUuid(a.cluster, b.cluster);
        break;
    }
    if (result != 0) return result;
  }
  return 0;
}

// One query shape per listing order, plus shapes that fix columns further down.
std::vector<MatchCriteria> Shapes(const EntryKey &sample) {
  std::vector<MatchCriteria> shapes(6);
  shapes[1].uuid = sample.uuid;
  shapes[1].owner = sample.owner;
  shapes[2].owner = sample.owner;
  shapes[2].type = sample.type;
  shapes[3].type = sample.type;
  shapes[4].uuid = sample.uuid;
  shapes[4].owner = sample.owner;
  shapes[4].type = sample.type;
  shapes[4].revision = sample.revision;
  shapes[5] = shapes[4];
  shapes[5].latest = true;  // the revision is then not compared
  return shapes;
}

bool MatchesLeadingFixed(const MatchCriteria &criteria, const EntryKey &key) {
  return (!criteria.uuid || dir::SameUuid(*criteria.uuid, key.uuid)) &&
         (!criteria.owner || dir::SameUuid(*criteria.owner, key.owner)) &&
         (!criteria.type || *criteria.type == key.type) &&
         (!criteria.revision || criteria.latest || *criteria.revision == key.revision) &&
         (!criteria.cluster || dir::SameUuid(*criteria.cluster, key.cluster));
}

TEST(EtcdKeysTest, KeyOrderIsListingOrderAndKeysReadBack) {
  std::mt19937 random(12);
  std::vector<EntryKey> rows(300);
  for (EntryKey &row : rows) row = RandomKey(random);
  for (const MatchCriteria &shape : Shapes(rows[0])) {
    const dir::ColumnOrder order = dir::MatchOrder(shape);
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
      const std::string a = dir::etcd::RowKey(kPrefix, order, rows[i]);
      const std::string b = dir::etcd::RowKey(kPrefix, order, rows[i + 1]);
      const int expected = CompareInOrder(order, rows[i], rows[i + 1]);
      EXPECT_EQ(a < b, expected < 0) << a << " " << b;
      EXPECT_EQ(a == b, expected == 0) << a << " " << b;
      const std::optional<EntryKey> back = dir::etcd::ParseRowKey(kPrefix, order, a);
      ASSERT_TRUE(back);
      EXPECT_EQ(CompareInOrder(order, *back, rows[i]), 0);
    }
  }
  const dir::ColumnOrder order = dir::MatchOrder({});
  const std::string key = dir::etcd::RowKey(kPrefix, order, rows[0]);
  EXPECT_FALSE(dir::etcd::ParseRowKey("other/", order, key));
  EXPECT_FALSE(dir::etcd::ParseRowKey(kPrefix, order, key.substr(0, key.size() - 1)));
  std::string upper = key;
  upper.back() = 'G';
  EXPECT_FALSE(dir::etcd::ParseRowKey(kPrefix, order, upper));
}

TEST(EtcdKeysTest, AMatchRangeHoldsExactlyTheFixedRowsAfterTheCursor) {
  std::mt19937 random(34);
  std::vector<EntryKey> rows(300);
  for (EntryKey &row : rows) row = RandomKey(random);
  for (size_t trial = 0; trial < 20; ++trial) {
    const EntryKey sample = rows[trial];
    for (MatchCriteria shape : Shapes(sample)) {
      for (const bool withCluster : {false, true}) {
        if (withCluster) shape.cluster = sample.cluster;
        const dir::ColumnOrder order = dir::MatchOrder(shape);
        const std::optional<EntryKey> cursor =
            trial % 2 == 0 ? std::nullopt : std::optional<EntryKey>(rows[trial + 40]);
        const dir::etcd::KeyRange range = dir::etcd::MatchRange(kPrefix, shape, cursor);
        for (const EntryKey &row : rows) {
          const std::string key = dir::etcd::RowKey(kPrefix, order, row);
          const bool inRange = key >= range.begin && key < range.end;
          // Columns past the leading fixed ones are the reader's to compare: only rows
          // outside the fixed lead may lie outside the range.
          if (MatchesLeadingFixed(shape, row) &&
              (!cursor || CompareInOrder(order, row, *cursor) > 0)) {
            EXPECT_TRUE(inRange) << key << " not in [" << range.begin << ", " << range.end << ")";
          }
          if (cursor && CompareInOrder(order, row, *cursor) <= 0) {
            EXPECT_FALSE(inRange) << key;
          }
          // A row that differs in the order's leading column, which the query fixes.
          const dir::ColumnOrder lead{order[0], order[0], order[0], order[0], order[0]};
          const bool leadFixed = order[0] == Column::kUuid    ? shape.uuid.has_value()
                                 : order[0] == Column::kOwner ? shape.owner.has_value()
                                                              : shape.type.has_value();
          if (leadFixed && CompareInOrder(lead, row, sample) != 0) {
            EXPECT_FALSE(inRange) << key;
          }
        }
      }
    }
  }
}

// Whatever two prefixes are, nested, escaped-looking or not, no key of one directory (a row
// of any order, its marker) begins with the other's key prefix or falls in any of its ranges.
TEST(EtcdKeysTest, NoDirectorysKeysFallAmongAnothers) {
  const std::vector<std::string> prefixes{
      "x",   "x/u", "x/o", "x/t",       "x/u/u",        "x/format",      "tarne", "tarne/u",
      "a",   "ab",  "a/b", "a%",        "a%2Fb",        "a%252Fb",       "a/%2F", "%",
      "%25", "/",   "a/",  "team/prod", "team/prod/eu", "team%2Fprod/eu"};
  std::mt19937 random(56);
  std::vector<EntryKey> rows(40);
  for (EntryKey &row : rows) row = RandomKey(random);
  const std::vector<MatchCriteria> shapes = Shapes(rows[0]);
  for (const std::string &a : prefixes) {
    const std::string keyPrefix = dir::etcd::DirectoryKeyPrefix(a);
    for (const std::string &b : prefixes) {
      if (a == b) continue;
      const std::string other = dir::etcd::DirectoryKeyPrefix(b);
      EXPECT_NE(keyPrefix, other) << a << " and " << b;
      std::vector<std::string> keys{other + "format"};
      for (const MatchCriteria &shape : shapes) {
        for (const EntryKey &row : rows) {
          keys.push_back(dir::etcd::RowKey(other, dir::MatchOrder(shape), row));
        }
      }
      // What a can read, count or delete: its ranges, and those of the earlier layout's
      // directory that init --force replaces when that one can be told apart.
      std::vector<dir::etcd::KeyRange> ranges;
      const std::string earlier = dir::etcd::EarlierKeyPrefix(a);
      for (const MatchCriteria &shape : shapes) {
        ranges.push_back(dir::etcd::MatchRange(keyPrefix, shape, std::nullopt));
        ranges.push_back(dir::etcd::OrderRange(keyPrefix, dir::MatchOrder(shape)));
        if (dir::etcd::EarlierLayoutDistinct(a)) {
          ranges.push_back(dir::etcd::OrderRange(earlier, dir::MatchOrder(shape)));
          ranges.push_back({earlier + "format", earlier + "format" + '\0'});
        }
      }
      for (const std::string &key : keys) {
        ASSERT_FALSE(key.starts_with(keyPrefix)) << b << "'s " << key << " under " << a;
        for (const dir::etcd::KeyRange &range : ranges) {
          ASSERT_FALSE(key >= range.begin && key < range.end)
              << b << "'s " << key << " in " << a << "'s [" << range.begin << ", " << range.end
              << ")";
        }
      }
    }
  }
}

// Directories written before prefixes were escaped keep their keys when their prefix has no
// '%' or '/'; the others' earlier keys are told apart by the earlier key prefix.
TEST(EtcdKeysTest, PrefixesWithoutPercentOrSlashKeepTheirLayout) {
  EXPECT_EQ(dir::etcd::DirectoryKeyPrefix("tarne"), "tarne/");
  EXPECT_EQ(dir::etcd::DirectoryKeyPrefix("team/prod%"), "team%2Fprod%25/");
  EXPECT_EQ(dir::etcd::EarlierKeyPrefix("team/prod%"), "team/prod%/");
  // An earlier directory is told apart when no current key prefix can equal its own.
  for (const char *distinct : {"team/prod", "a/%2F", "50%off", "a%", "a%2", "%2f"}) {
    EXPECT_TRUE(dir::etcd::EarlierLayoutDistinct(distinct)) << distinct;
  }
  for (const char *same : {"tarne", "a%2Fb", "%25", "x%252F%2F"}) {
    EXPECT_FALSE(dir::etcd::EarlierLayoutDistinct(same)) << same;
  }
}

// A range of an order holds only keys that can be rows of it: the keys an earlier nested
// directory kept under the order's tag (its own tags, its marker) lie outside, while the
// lowest and highest row keys lie inside.
TEST(EtcdKeysTest, AnOrdersRangeHoldsRowKeysOnly) {
  const EntryKey lowest{};
  EntryKey highest;
  std::memset(&highest.uuid, 0xff, sizeof highest.uuid);
  std::memset(&highest.owner, 0xff, sizeof highest.owner);
  highest.type = 0x7f;
  highest.revision = UINT64_MAX;
  std::memset(&highest.cluster, 0xff, sizeof highest.cluster);
  for (const MatchCriteria &shape : Shapes(lowest)) {
    const dir::ColumnOrder order = dir::MatchOrder(shape);
    const dir::etcd::KeyRange range = dir::etcd::OrderRange(kPrefix, order);
    const dir::etcd::KeyRange all = dir::etcd::MatchRange(kPrefix, {}, std::nullopt);
    for (const EntryKey &row : {lowest, highest}) {
      const std::string key = dir::etcd::RowKey(kPrefix, order, row);
      EXPECT_TRUE(key >= range.begin && key < range.end) << key;
      EXPECT_EQ(key.size(), dir::etcd::RowKeyLength(kPrefix));
    }
    const std::string tag = dir::etcd::RowKey(kPrefix, order, lowest).substr(0, kPrefix.size() + 2);
    for (const std::string &nested : {tag + "u/" + std::string(144, '0'), tag + "format",
                                      tag + "o/", tag + "t/" + std::string(144, 'f')}) {
      EXPECT_FALSE(nested >= range.begin && nested < range.end) << nested;
      if (order == dir::MatchOrder({})) {
        EXPECT_FALSE(nested >= all.begin && nested < all.end) << nested;
      }
    }
  }
}

}  // namespace
}  // namespace olva::test
