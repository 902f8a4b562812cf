// Malformed payloads are refused without reading past them, a text that does not fit reports
// the exact size it needs without writing past the buffer, and threads convert at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "converter_support.h"
#include "directory/expr_writer.h"

namespace converter_test {
namespace {

TEST(ConverterBounds, RefusesPayloadsThatPointOutsideThemselves) {
  EXPECT_EQ(Plain({}, "AllKinds", true).status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(Masked(std::vector<uint8_t>(kAllKindsSize - 1), "AllKinds", false).status,
            TARNE_STATUS_BAD_PARAMETER);
  for (uint64_t offset : {uint64_t{kAllKindsSize}, uint64_t{1} << 63}) {
    EXPECT_EQ(Plain(Payload(kAllKindsSize).U64(64, offset).bytes(), "AllKinds", true).status,
              TARNE_STATUS_BAD_PARAMETER);
  }
  Payload unterminated(kAllKindsSize);
  unterminated.Raw(kAllKindsSize, "abc", 3).U64(56, kAllKindsSize);
  EXPECT_EQ(Plain(unterminated.bytes(), "AllKinds", true).status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(Masked(unterminated.bytes(), "AllKinds", false).status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(Plain({0, 0, 0, 0}, "BadKind", true).status, TARNE_STATUS_BAD_PARAMETER);
}

TEST(ConverterBounds, RefusesListCountsAndOffsetsOutsideThePayload) {
  const uint64_t data = kAllKindsSize;  // where the one UUID of these payloads sits
  const auto list = [&](size_t at, uint64_t count, uint64_t offset) {
    Payload p(kAllKindsSize);
    p.U64(at, count).U64(at + 8, offset).Append(Uuid(0x10));
    return Plain(p.bytes(), "AllKinds", true).status;
  };
  for (size_t at : {size_t{80}, size_t{96}}) {
    EXPECT_EQ(list(at, 1, data), TARNE_STATUS_SUCCESS);
    EXPECT_EQ(list(at, 2, data), TARNE_STATUS_BAD_PARAMETER);
    EXPECT_EQ(list(at, 1, data + 1), TARNE_STATUS_BAD_PARAMETER);
    // 2^60 entries of 16 bytes wrap a 64-bit product to 0.
    EXPECT_EQ(list(at, uint64_t{1} << 60, data), TARNE_STATUS_BAD_PARAMETER);
    // An empty list's offset is never followed.
    EXPECT_EQ(list(at, 0, UINT64_MAX), TARNE_STATUS_SUCCESS);
  }
}

// Every capacity short of the text's size, none (a size query) included, fails with that exact
// size and an empty text; the size then works.
void ExpectExactSizing(ConverterFn converter, const std::vector<uint8_t> &payload,
                       const char *schema, bool structured) {
  const Result full = Convert(converter, payload, schema, structured);
  ASSERT_EQ(full.status, TARNE_STATUS_SUCCESS);
  const uint32_t needed = static_cast<uint32_t>(full.text.size() + 1);
  for (uint32_t capacity = 0; capacity < needed; ++capacity) {
    const Result cut = Convert(converter, payload, schema, structured, capacity);
    ASSERT_EQ(cut.status, TARNE_STATUS_BUFFER_TOO_SMALL) << schema << " " << capacity;
    ASSERT_EQ(cut.capacity, needed) << schema << " " << capacity;
  }
  EXPECT_EQ(Convert(converter, payload, schema, structured, needed).text, full.text);
}

TEST(ConverterBounds, ReportsTheExactSizeWhenTheBufferIsTooSmall) {
  Payload fields(kAllKindsSize);
  fields.U64(56, fields.AppendString("a \"quoted\" string\n"));
  fields.U64(80, 1).U64(88, fields.Append(Uuid(0x20)));
  const OlvaUUID member{{0xab, 0xcd}};
  const std::vector<uint8_t> expression =
      *olva::expr::ExprWriter().AddU32(7).AddString("x").AddUuids({&member, 1}).Finish();
  for (bool structured : {true, false}) {
    for (ConverterFn converter : {OlvaExprConv_BinToText, OlvaExprConv_BinToTextObfuscated}) {
      ExpectExactSizing(converter, fields.bytes(), "AllKinds", structured);
      ExpectExactSizing(converter, {0xde, 0xad, 0xbe, 0xef}, "NULL", structured);
      ExpectExactSizing(converter, expression, "NULL", structured);
    }
  }
}

TEST(ConverterThreads, ConvertsConcurrentlyUnderSeveralDirectories) {
  // A second directory at another address, so that threads index different directories.
  static constexpr TarneSchemaDirEntry kOther[] = {{"OneString", kStringFields}, {}};
  Payload p(8);
  p.U64(0, p.AppendString("shared"));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) {
        const bool masked = i % 2 != 0;
        const Result r =
            Convert(masked ? OlvaExprConv_BinToTextObfuscated : OlvaExprConv_BinToText, p.bytes(),
                    "OneString", false, 64, t % 2 ? kOther : kTestDirectory);
        EXPECT_EQ(r.text.substr(0, 6), masked ? "s=str-" : "s=shar");
      }
    });
  }
  for (std::thread &thread : threads) thread.join();
}

}  // namespace
}  // namespace converter_test
