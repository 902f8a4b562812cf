// How far a range read of a listing reaches: the distance its rows took so far, scaled to the
// rows it asks for, added to a key as a base-16 number.
#include "directory/etcd/etcd_key_span.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace olva::test {
namespace {

using dir::etcd::KeyAfterRows;
using dir::etcd::KeyDensity;
using dir::etcd::MeasureDensity;

constexpr char kDigits[] = "0123456789abcdef";
const std::string kOrderPrefix = "team/prod/u/";

// A key of the shape of the directory's: a prefix and lower-case hex digits, with a long run
// of digits shared by neighbours, as sequential UUIDs make.
std::string HexKey(std::mt19937_64 &random, size_t shared) {
  std::string key = kOrderPrefix + std::string(shared, '0');
  while (key.size() < 110) key += kDigits[random() % 16];
  return key;
}

bool HexAfterPrefix(const std::string &key) {
  return key.starts_with(kOrderPrefix) &&
         std::all_of(key.begin() + static_cast<ptrdiff_t>(kOrderPrefix.size()), key.end(),
                     [](char c) { return std::string_view(kDigits).find(c) != std::string::npos; });
}

TEST(EtcdKeySpanTest, TheRowsMeasuredReachTheKeyTheyWereMeasuredToAndTwiceAsManyPassIt) {
  std::mt19937_64 random(7);
  for (const size_t shared : {0u, 5u, 27u, 60u, 96u}) {
    for (int round = 0; round < 200; ++round) {
      std::string from = HexKey(random, shared), to = HexKey(random, shared);
      if (from == to) continue;
      if (to < from) std::swap(from, to);
      const uint32_t rows = 1 + uint32_t(random() % 9000);
      const KeyDensity density = MeasureDensity(from, to, rows);
      ASSERT_TRUE(density.Known());
      // The same rows: to itself, as far as the window reads it (digits past its end are 0).
      std::string window = to;
      window.resize(density.at + 16, '0');
      EXPECT_EQ(KeyAfterRows(from, density, rows), window) << from << " " << to;
      // However few rows, a read moves on.
      EXPECT_GT(KeyAfterRows(from, density, 0), from);
      // Twice as many pass to, or every key (no bound).
      const std::string twice = KeyAfterRows(from, density, 2 * rows);
      if (twice.empty()) continue;
      EXPECT_GT(twice, to) << from << " " << to;
      EXPECT_TRUE(HexAfterPrefix(twice)) << twice;
      EXPECT_LT(KeyAfterRows(from, density, 1), twice);
    }
  }
}

// Keys spread evenly over the hex digits, as random UUIDs are: the density of one page,
// carried on from where the page ended (the last key read and a zero byte), bounds a next
// page of about as many rows, never one that finds none.
TEST(EtcdKeySpanTest, APagesDensityBoundsANextPageOfAboutAsManyRows) {
  std::mt19937_64 random(11);
  std::vector<std::string> keys(200000);
  for (std::string &key : keys) key = HexKey(random, 0);
  std::sort(keys.begin(), keys.end());
  constexpr size_t kPage = 2000;
  for (size_t first = 0; first + 3 * kPage < keys.size(); first += 7 * kPage + 13) {
    const KeyDensity density = MeasureDensity(keys[first], keys[first + kPage - 1], kPage - 1);
    const std::string reached = keys[first + kPage - 1] + '\0';
    const std::string bound = KeyAfterRows(reached, density, kPage);
    ASSERT_TRUE(HexAfterPrefix(bound)) << bound;
    const auto rows = std::lower_bound(keys.begin(), keys.end(), bound) -
                      std::lower_bound(keys.begin(), keys.end(), reached);
    EXPECT_GT(rows, kPage / 2) << "from " << reached << " to " << bound;
    EXPECT_LT(rows, 2 * kPage) << "from " << reached << " to " << bound;
  }
}

TEST(EtcdKeySpanTest, ASumCarriesIntoTheDigitsBeforeTheWindowAndPastTheFirstIsNoBound) {
  const KeyDensity one{kOrderPrefix.size() + 1, 1, 1};
  EXPECT_EQ(KeyAfterRows(kOrderPrefix + "a" + std::string(16, 'f') + "9", one, 1),
            kOrderPrefix + "b" + std::string(16, '0'));
  EXPECT_EQ(KeyAfterRows(kOrderPrefix + std::string(17, 'f'), one, 1), "");
  // A step wider than the window is taken one digit earlier, rounded down.
  const KeyDensity wide{kOrderPrefix.size() + 2, UINT64_MAX, 1};
  EXPECT_EQ(KeyAfterRows(kOrderPrefix + std::string(20, '0'), wide, 16),
            kOrderPrefix + "0" + std::string(16, 'f'));
  EXPECT_EQ(KeyAfterRows(kOrderPrefix + std::string(20, '0'),
                         KeyDensity{kOrderPrefix.size(), UINT64_MAX, 1}, 16),
            "");  // wider than every digit: past the order's separator
  EXPECT_EQ(KeyAfterRows(kOrderPrefix, KeyDensity{0, UINT64_MAX, 1}, 256), "");
  // A range that begins at the order's own prefix, before every digit.
  EXPECT_EQ(KeyAfterRows(kOrderPrefix, KeyDensity{kOrderPrefix.size(), 1 << 20, 16}, 1),
            kOrderPrefix + std::string(11, '0') + "10000");
  // Nothing measured: no bound.
  EXPECT_EQ(KeyAfterRows(kOrderPrefix + "0", KeyDensity{}, 100), "");
  EXPECT_FALSE(MeasureDensity("team/b", "team/a", 10).Known());
  EXPECT_FALSE(MeasureDensity("team/a", "team/b", 0).Known());
}

}  // namespace
}  // namespace olva::test
