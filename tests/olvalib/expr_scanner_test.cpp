// The expression scanner on well-formed expressions, on every kind of malformed one and on
// random bytes. Each input sits in a heap block of its exact size, so that a read past it is
// caught by the address sanitizer.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "directory/expr_encoding.h"
#include "directory/expr_writer.h"
#include "directory/membership.h"

namespace olva::test {
namespace {

using expr::ExprWriter;

OlvaUUID Member(uint8_t tag) {
  OlvaUUID uuid{};
  uuid.bytes[0] = tag;
  return uuid;
}

// A copy of the bytes in a block of exactly their size.
struct Exact {
  explicit Exact(const std::vector<uint8_t> &bytes)
      : data(new uint8_t[bytes.empty() ? 1 : bytes.size()]), size(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), data.get());
  }
  bool Valid() const {
    return OlvaExprScanner_IsValidExpr(data.get(), static_cast<uint32_t>(size));
  }
  std::unique_ptr<uint8_t[]> data;
  size_t size;
};

std::vector<uint8_t> Membership(std::vector<OlvaUUID> members) {
  dir::Membership membership{7, 2, std::move(members)};
  return *dir::EncodeMembership(membership);
}

TEST(ExprScannerTest, ScansAMembershipTheWayTheToolDoes) {
  const Exact payload(Membership({Member(1), Member(2), Member(3)}));
  ASSERT_TRUE(payload.Valid());
  uint32_t position = 0;
  uint32_t count = 0;
  const void *nested = nullptr;
  ASSERT_EQ(OlvaExprScanner_GetArgs(payload.data.get(), &position, "%E", &count, &nested), 0u);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(position, 1u);
  position = 0;
  uint32_t generation = 0, quorum = 0, members = 0;
  const OlvaUUID *uuids = nullptr;
  ASSERT_EQ(
      OlvaExprScanner_GetArgs(nested, &position, "%u%u%U", &generation, &quorum, &members, &uuids),
      0u);
  EXPECT_EQ(generation, 7u);
  EXPECT_EQ(quorum, 2u);
  ASSERT_EQ(members, 3u);
  EXPECT_EQ(uuids[2].bytes[0], 3);
  EXPECT_EQ(position, 3u);
}

TEST(ExprScannerTest, EmptyMemberListAndOtherElementKinds) {
  const Exact empty(Membership({}));
  EXPECT_TRUE(empty.Valid());
  const Exact mixed(*ExprWriter().AddU64(1ull << 40).AddString("abc").AddString("").Finish());
  ASSERT_TRUE(mixed.Valid());
  uint32_t position = 0;
  uint64_t big = 0;
  uint32_t length = 0, emptyLength = 9;
  const char *text = nullptr, *emptyText = nullptr;
  ASSERT_EQ(OlvaExprScanner_GetArgs(mixed.data.get(), &position, "%q%s%s", &big, &length, &text,
                                    &emptyLength, &emptyText),
            0u);
  EXPECT_EQ(big, 1ull << 40);
  EXPECT_EQ(std::string(text, length), "abc");
  EXPECT_EQ(emptyLength, 0u);
}

TEST(ExprScannerTest, GetArgsReportsWrongKindsAndTheEnd) {
  const Exact expression(*ExprWriter().AddU32(1).AddU32(2).Finish());
  uint32_t position = 0;
  uint32_t value = 0;
  const void *nested = nullptr;
  EXPECT_EQ(OlvaExprScanner_GetArgs(expression.data.get(), &position, "%E", &value, &nested),
            TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(OlvaExprScanner_GetArgs(expression.data.get(), &position, "%x", &value),
            TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(OlvaExprScanner_GetArgs(expression.data.get(), &position, "u", &value),
            TARNE_STATUS_BAD_PARAMETER);
  position = 1;  // resumes at the second element
  EXPECT_EQ(OlvaExprScanner_GetArgs(expression.data.get(), &position, "%u", &value), 0u);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(OlvaExprScanner_GetArgs(expression.data.get(), &position, "%u", &value),
            TARNE_STATUS_NOT_FOUND);
  position = 0;
  EXPECT_EQ(
      OlvaExprScanner_GetArgs(expression.data.get(), &position, "%u%u%u", &value, &value, &value),
      TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(position, 2u);
  EXPECT_EQ(OlvaExprScanner_GetArgs(nullptr, &position, "%u", &value), TARNE_STATUS_BAD_PARAMETER);
}

TEST(ExprScannerTest, EveryTruncationIsInvalid) {
  const std::vector<uint8_t> whole = Membership({Member(1), Member(2)});
  for (size_t length = 0; length < whole.size(); ++length) {
    const Exact cut(std::vector<uint8_t>(whole.begin(), whole.begin() + length));
    EXPECT_FALSE(cut.Valid()) << length;
  }
  // Bytes after the expression are not part of it either.
  std::vector<uint8_t> longer = whole;
  longer.push_back(0);
  EXPECT_FALSE(Exact(longer).Valid());
}

TEST(ExprScannerTest, WrongHeadersAreInvalid) {
  const std::vector<uint8_t> whole = Membership({Member(1)});
  for (size_t byte : {0, 1, 2, 3}) {
    std::vector<uint8_t> bad = whole;
    bad[byte] ^= 0x01;
    EXPECT_FALSE(Exact(bad).Valid()) << byte;
  }
  for (int delta : {-1, 1}) {
    std::vector<uint8_t> count = whole;
    count[4] = static_cast<uint8_t>(count[4] + delta);
    EXPECT_FALSE(Exact(count).Valid());
    std::vector<uint8_t> length = whole;
    length[8] = static_cast<uint8_t>(length[8] + delta);
    EXPECT_FALSE(Exact(length).Valid());
    std::vector<uint8_t> nestedLength = whole;  // the nested header starts after tag 'E'
    nestedLength[expr::kHeaderSize + 1 + 8] =
        static_cast<uint8_t>(nestedLength[expr::kHeaderSize + 1 + 8] + delta);
    EXPECT_FALSE(Exact(nestedLength).Valid());
  }
}

TEST(ExprScannerTest, HugeCountsDoNotReadPastTheEnd) {
  std::vector<uint8_t> uuids = *ExprWriter().AddUuids(std::vector<OlvaUUID>{Member(1)}).Finish();
  // The UUID count is right after the tag.
  for (uint32_t count : {2u, 0x10000000u, 0xffffffffu}) {
    std::vector<uint8_t> bad = uuids;
    for (int i = 0; i < 4; ++i)
      bad[expr::kHeaderSize + 1 + i] = static_cast<uint8_t>(count >> (8 * i));
    EXPECT_FALSE(Exact(bad).Valid()) << count;
  }
  std::vector<uint8_t> text = *ExprWriter().AddString("ab").Finish();
  text[expr::kHeaderSize + 1] = 3;
  EXPECT_FALSE(Exact(text).Valid());
}

TEST(ExprScannerTest, NestingIsBounded) {
  std::vector<uint8_t> expression = *ExprWriter().AddU32(1).Finish();
  for (int depth = 1; depth <= expr::kMaxDepth; ++depth) {
    expression = *ExprWriter().AddExpression(expression).Finish();
  }
  EXPECT_TRUE(Exact(expression).Valid());
  expression = *ExprWriter().AddExpression(expression).Finish();
  EXPECT_FALSE(Exact(expression).Valid());
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
      bytes[2] = bytes[3] = 0;
      bytes[8] = static_cast<uint8_t>(bytes.size());
      bytes[9] = bytes[10] = bytes[11] = 0;
    }
    if (Exact(bytes).Valid()) ++valid;
  }
  EXPECT_LT(valid, 200u);  // the magic byte and the length keep random payloads out

  const std::vector<uint8_t> whole = Membership({Member(1), Member(2), Member(3)});
  for (int round = 0; round < 5000; ++round) {
    std::vector<uint8_t> bytes = whole;
    bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    const Exact mutated(bytes);
    if (!mutated.Valid()) continue;
    // Whatever a mutation left valid can be scanned within its bytes.
    uint32_t position = 0;
    uint32_t count = 0;
    const void *nested = nullptr;
    if (OlvaExprScanner_GetArgs(mutated.data.get(), &position, "%E", &count, &nested) != 0)
      continue;
    position = 0;
    uint32_t a = 0, b = 0, n = 0;
    const OlvaUUID *uuids = nullptr;
    if (OlvaExprScanner_GetArgs(nested, &position, "%u%u%U", &a, &b, &n, &uuids) == 0) {
      const auto *end = mutated.data.get() + mutated.size;
      EXPECT_LE(reinterpret_cast<const uint8_t *>(uuids + n), end);
    }
  }
}

TEST(ExprScannerTest, NullAndEmptyInputs) {
  EXPECT_FALSE(OlvaExprScanner_IsValidExpr(nullptr, 0));
  EXPECT_FALSE(Exact({}).Valid());
  const Exact bare(*ExprWriter().Finish());  // a header with no element
  EXPECT_TRUE(bare.Valid());
  EXPECT_EQ(bare.size, expr::kHeaderSize);
}

}  // namespace
}  // namespace olva::test
