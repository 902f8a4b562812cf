// The expression scanner on hostile input. Each input sits in a heap block of its exact size,
// so that a read past it is caught by the address sanitizer.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "client/tarne_client.h"
#include "directory/expr_encoding.h"
#include "directory/expr_writer.h"
#include "directory/membership.h"

namespace olva::test {
namespace {

using expr::ExprWriter;

std::unique_ptr<uint8_t[]> ExactCopy(const std::vector<uint8_t> &bytes) {
  auto copy = std::make_unique_for_overwrite<uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  return copy;
}
bool Valid(const std::vector<uint8_t> &bytes) {
  return OlvaExprScanner_IsValidExpr(ExactCopy(bytes).get(), uint32_t(bytes.size()));
}
const std::vector<uint8_t> kMembership =
    *dir::EncodeMembership(dir::Membership{7, 2, std::vector<OlvaUUID>(2)});

TEST(ExprScannerTest, EveryTruncationAndWrongHeaderIsInvalid) {
  ASSERT_TRUE(Valid(kMembership));
  for (size_t length = 0; length < kMembership.size(); ++length) {
    EXPECT_FALSE(Valid({kMembership.begin(), kMembership.begin() + length})) << length;
  }
  std::vector<uint8_t> longer = kMembership;
  longer.push_back(0);
  EXPECT_FALSE(Valid(longer));
  // Magic, version, reserved; the element count and the total length, of the expression and
  // of the nested one (its header follows the tag 'E').
  for (size_t byte : {0, 1, 2, 3, 4, 8, 17, 21}) {
    for (int delta : {-1, 1}) {
      std::vector<uint8_t> bad = kMembership;
      bad[byte] = static_cast<uint8_t>(bad[byte] + delta);
      EXPECT_FALSE(Valid(bad)) << byte << " " << delta;
    }
  }
  EXPECT_FALSE(OlvaExprScanner_IsValidExpr(nullptr, 0));
}

TEST(ExprScannerTest, HugeCountsAndDeepNestingAreInvalid) {
  const std::vector<uint8_t> uuids = *ExprWriter().AddUuids(std::vector<OlvaUUID>(1)).Finish();
  for (uint32_t count : {2u, 0x10000000u, 0xffffffffu}) {
    std::vector<uint8_t> bad = uuids;  // the UUID count follows the tag
    for (int i = 0; i < 4; ++i) bad[expr::kHeaderSize + 1 + i] = uint8_t(count >> (8 * i));
    EXPECT_FALSE(Valid(bad)) << count;
  }
  std::vector<uint8_t> nested = *ExprWriter().AddU32(1).Finish();
  for (int depth = 1; depth <= expr::kMaxDepth; ++depth) {
    nested = *ExprWriter().AddExpression(nested).Finish();
  }
  EXPECT_TRUE(Valid(nested));
  EXPECT_FALSE(Valid(*ExprWriter().AddExpression(nested).Finish()));
}

TEST(ExprScannerTest, RandomBytesAndMutationsNeverReadPast) {
  std::mt19937 random(12345);
  size_t valid = 0;
  for (int round = 0; round < 20000; ++round) {
    std::vector<uint8_t> bytes(random() % 80);
    for (uint8_t &byte : bytes) byte = static_cast<uint8_t>(random());
    if (round % 2 == 0 && bytes.size() >= expr::kHeaderSize) {  // get past the header often
      bytes[0] = expr::kMagic;
      bytes[1] = expr::kVersion;
      bytes[2] = bytes[3] = bytes[9] = bytes[10] = bytes[11] = 0;
      bytes[8] = static_cast<uint8_t>(bytes.size());
    }
    valid += Valid(bytes);
  }
  EXPECT_LT(valid, 200u);  // the magic byte and the length keep random payloads out
  for (int round = 0; round < 5000; ++round) {
    std::vector<uint8_t> bytes = kMembership;
    bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    const auto copy = ExactCopy(bytes);
    uint32_t position = 0, count = 0, a = 0, b = 0, n = 0;
    const void *nested = nullptr;
    const OlvaUUID *uuids = nullptr;
    // Whatever a mutation left valid can be scanned within its bytes.
    if (OlvaExprScanner_IsValidExpr(copy.get(), uint32_t(bytes.size())) &&
        OlvaExprScanner_GetArgs(copy.get(), &position, "%E", &count, &nested) == 0 &&
        OlvaExprScanner_GetArgs(nested, &(position = 0), "%u%u%U", &a, &b, &n, &uuids) == 0) {
      EXPECT_LE(reinterpret_cast<const uint8_t *>(uuids + n), copy.get() + bytes.size());
    }
  }
}

}  // namespace
}  // namespace olva::test
