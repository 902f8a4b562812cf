// etcd row keys: no directory's keys may fall among another's, whatever their prefixes. The
// keys' order and the rows a match range holds are the listings' to show, on both backends;
// keys of no row's shape among a directory's the prefix tests' on a cluster.
#include "directory/etcd/etcd_keys.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace olva::test {
namespace {

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

}  // namespace
}  // namespace olva::test
