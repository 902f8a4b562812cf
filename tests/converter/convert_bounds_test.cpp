// Malformed payloads are refused without reading past them, and a text that does not fit
// reports the exact size it needs without writing past the buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "converter_support.h"

namespace converter_test {
namespace {

std::vector<uint8_t> ListPayload(size_t at, uint64_t count, uint64_t offset) {
  Payload p(kAllKindsSize);
  p.U64(at, count).U64(at + 8, offset);
  p.Append(Uuid(0x10));
  return p.bytes();
}

TEST(ConverterBounds, RefusesAPayloadShorterThanItsSchema) {
  for (size_t length : {size_t{0}, size_t{1}, size_t{8}, kAllKindsSize - 1}) {
    const std::vector<uint8_t> payload(length, 0);
    EXPECT_EQ(Plain(payload, "AllKinds", true).status, TARNE_STATUS_BAD_PARAMETER) << length;
    EXPECT_EQ(Masked(payload, "AllKinds", false).status, TARNE_STATUS_BAD_PARAMETER) << length;
  }
}

TEST(ConverterBounds, RefusesStringOffsetsOutsideThePayload) {
  const uint64_t size = kAllKindsSize;
  for (uint64_t offset : {size, size + 1, uint64_t{1} << 63, UINT64_MAX}) {
    Payload p(kAllKindsSize);
    p.U64(64, offset);
    EXPECT_EQ(Plain(p.bytes(), "AllKinds", true).status, TARNE_STATUS_BAD_PARAMETER) << offset;
  }
}

TEST(ConverterBounds, RefusesAStringWithoutNulInsideThePayload) {
  Payload p(kAllKindsSize);
  const uint8_t tail[] = {'a', 'b', 'c'};
  p.Raw(kAllKindsSize, tail, sizeof tail);
  p.U64(56, kAllKindsSize);
  EXPECT_EQ(Plain(p.bytes(), "AllKinds", false).status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(Masked(p.bytes(), "AllKinds", false).status, TARNE_STATUS_BAD_PARAMETER);
}

TEST(ConverterBounds, RefusesListCountsAndOffsetsOutsideThePayload) {
  const uint64_t data = kAllKindsSize;  // where ListPayload puts its one UUID
  for (size_t at : {size_t{80}, size_t{96}}) {
    EXPECT_EQ(Plain(ListPayload(at, 1, data), "AllKinds", true).status, TARNE_STATUS_SUCCESS);
    EXPECT_EQ(Plain(ListPayload(at, 2, data), "AllKinds", true).status, TARNE_STATUS_BAD_PARAMETER);
    EXPECT_EQ(Plain(ListPayload(at, 1, data + 1), "AllKinds", true).status,
              TARNE_STATUS_BAD_PARAMETER);
    EXPECT_EQ(Plain(ListPayload(at, 1, UINT64_MAX), "AllKinds", true).status,
              TARNE_STATUS_BAD_PARAMETER);
    // 2^60 entries of 16 bytes wrap a 64-bit product to 0.
    EXPECT_EQ(Plain(ListPayload(at, uint64_t{1} << 60, data), "AllKinds", true).status,
              TARNE_STATUS_BAD_PARAMETER);
    // An empty list's offset is never followed.
    EXPECT_EQ(Plain(ListPayload(at, 0, UINT64_MAX), "AllKinds", true).status, TARNE_STATUS_SUCCESS);
  }
}

TEST(ConverterBounds, RefusesASchemaWithAnUnknownKind) {
  EXPECT_EQ(Plain({0, 0, 0, 0}, "BadKind", true).status, TARNE_STATUS_BAD_PARAMETER);
}

TEST(ConverterBounds, RefusesBadArguments) {
  const uint8_t payload[8] = {};
  char text[64];
  uint32_t capacity = sizeof text;
  EXPECT_EQ(OlvaExprConv_BinToText(payload, 8, 1, text, nullptr, kTestDirectory, "Symbol", 0),
            TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(OlvaExprConv_BinToText(nullptr, 8, 1, text, &capacity, kTestDirectory, "Symbol", 0),
            TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(OlvaExprConv_BinToText(payload, 8, 2, text, &capacity, kTestDirectory, "Symbol", 0),
            TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(OlvaExprConv_BinToText(payload, 8, 1, nullptr, &capacity, kTestDirectory, "Symbol", 0),
            TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(capacity, sizeof text);
}

// Every capacity short of the text's size fails with that exact size; the size then works.
void ExpectExactSizing(ConverterFn converter, const std::vector<uint8_t> &payload,
                       const char *schema, bool structured) {
  const Result full = Convert(converter, payload, schema, structured);
  ASSERT_EQ(full.status, TARNE_STATUS_SUCCESS);
  const uint32_t needed = static_cast<uint32_t>(full.text.size() + 1);
  for (uint32_t capacity = 0; capacity < needed; ++capacity) {
    const Result cut = Convert(converter, payload, schema, structured, capacity);
    ASSERT_EQ(cut.status, TARNE_STATUS_BUFFER_TOO_SMALL) << capacity;
    ASSERT_EQ(cut.capacity, needed) << capacity;
  }
  const Result exact = Convert(converter, payload, schema, structured, needed);
  ASSERT_EQ(exact.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(exact.text, full.text);
}

TEST(ConverterBounds, ReportsTheExactSizeWhenTheBufferIsTooSmall) {
  Payload p(kAllKindsSize);
  p.U64(56, p.AppendString("a \"quoted\" string\n"));
  p.U64(80, 1).U64(88, p.Append(Uuid(0x20)));
  for (bool structured : {true, false}) {
    ExpectExactSizing(OlvaExprConv_BinToText, p.bytes(), "AllKinds", structured);
    ExpectExactSizing(OlvaExprConv_BinToTextObfuscated, p.bytes(), "AllKinds", structured);
    ExpectExactSizing(OlvaExprConv_BinToText, {0xde, 0xad, 0xbe, 0xef}, "NULL", structured);
    ExpectExactSizing(OlvaExprConv_BinToTextObfuscated, {0xde, 0xad}, "NULL", structured);
  }
}

TEST(ConverterBounds, AnswersASizeQueryWithoutABuffer) {
  uint32_t capacity = 0;
  const uint8_t payload[3] = {1, 2, 3};
  EXPECT_EQ(OlvaExprConv_BinToText(payload, 3, 1, nullptr, &capacity, kTestDirectory, "NULL", 0),
            TARNE_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(capacity, sizeof "hex=010203");
}

TEST(ConverterBounds, LeavesAnEmptyTextWhenTheBufferIsTooSmall) {
  char text[8];
  std::fill(std::begin(text), std::end(text), 'x');
  uint32_t capacity = sizeof text;
  const uint8_t payload[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(OlvaExprConv_BinToText(payload, 8, 1, text, &capacity, kTestDirectory, "NULL", 1),
            TARNE_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(text[0], '\0');
}

}  // namespace
}  // namespace converter_test
