// How far a range read of a listing reaches: the distance its rows took so far, scaled to the
// rows it asks for, added to a key as a base-256 number.
#include "directory/etcd/etcd_key_span.h"

#include <gtest/gtest.h>

#include <random>

namespace olva::test {
namespace {

using dir::etcd::KeyAfterRows;
using dir::etcd::KeyDensity;
using dir::etcd::MeasureDensity;

// A key of the shape of the directory's: a prefix and lower-case hex digits, with a long run
// of digits shared by neighbours, as sequential UUIDs make.
std::string HexKey(std::mt19937_64 &random, size_t shared) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string key = "team/prod/u/" + std::string(shared, '0');
  while (key.size() < 110) key += kDigits[random() % 16];
  return key;
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
      // The same rows: to itself, as far as the window reads it.
      std::string window = to;
      window.resize(density.at + 8, '\0');
      EXPECT_EQ(KeyAfterRows(from, density, rows), window) << from << " " << to;
      const std::string twice = KeyAfterRows(from, density, 2 * rows);
      EXPECT_GT(twice, to) << from << " " << to;
      // However few rows, a read moves on.
      EXPECT_GT(KeyAfterRows(from, density, 0), from);
      EXPECT_LT(KeyAfterRows(from, density, 1), twice);
    }
  }
}

TEST(EtcdKeySpanTest, ASumCarriesIntoTheBytesBeforeTheWindowAndPastTheFirstIsNoBound) {
  const KeyDensity one{1, 1, 1};
  std::string carried(8, '\xff'), sum(8, '\0');
  carried.insert(0, 1, 'a').push_back('z');
  sum.insert(0, 1, 'b');
  EXPECT_EQ(KeyAfterRows(carried, one, 1), sum);
  EXPECT_EQ(KeyAfterRows(std::string(9, '\xff'), one, 1), "");
  // A step wider than the window is taken one byte earlier, rounded down.
  const KeyDensity wide{5, UINT64_MAX, 1};
  EXPECT_EQ(KeyAfterRows(std::string(12, '\0'), wide, 256),
            std::string(4, '\0') + std::string(8, '\xff'));
  EXPECT_EQ(KeyAfterRows(std::string(12, '\0'), KeyDensity{0, UINT64_MAX, 1}, 256), "");
  // Nothing measured: no bound.
  EXPECT_EQ(KeyAfterRows("team/prod/u/0", KeyDensity{}, 100), "");
  EXPECT_FALSE(MeasureDensity("team/b", "team/a", 10).Known());
  EXPECT_FALSE(MeasureDensity("team/a", "team/b", 0).Known());
}

}  // namespace
}  // namespace olva::test
