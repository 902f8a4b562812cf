// Payloads that no schema describes: styles, "NULL" and names the directory lacks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_support.h"
#include "directory/expr_writer.h"
#include "json_checker.h"

namespace converter_test {
namespace {

const std::vector<uint8_t> kBytes{0x0a, 0x0b, 0xff, 0x00, 0x7e};

TEST(ConverterGeneric, RendersStylesNullAndUnknownNamesAsHex) {
  for (const char *name : {"HuxStyle", "NULL", "TarneNoSuchSchema", "allkinds", ""}) {
    const Result json = Plain(kBytes, name, true);
    ASSERT_EQ(json.status, TARNE_STATUS_SUCCESS) << name;
    EXPECT_EQ(json.text, "{\"hex\":\"0a0bff007e\"}") << name;
    EXPECT_TRUE(testing_json::IsValidJson(json.text));
    const Result plain = Plain(kBytes, name, false);
    EXPECT_EQ(plain.text, "hex=0a0bff007e") << name;
  }
}

TEST(ConverterGeneric, RendersWithoutADirectoryOrAName) {
  EXPECT_EQ(Plain(kBytes, "AllKinds", false, 1 << 10, nullptr).text, "hex=0a0bff007e");
  EXPECT_EQ(Plain(kBytes, nullptr, true).text, "{\"hex\":\"0a0bff007e\"}");
}

TEST(ConverterGeneric, RendersAnEmptyPayload) {
  EXPECT_EQ(Plain({}, "NULL", true).text, "{\"hex\":\"\"}");
  EXPECT_EQ(Plain({}, "HuxStyle", false).text, "hex=");
}

TEST(ConverterGeneric, RendersLongPayloadsWhole) {
  std::vector<uint8_t> bytes(4096);
  std::string hex;
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(i * 7);
    constexpr char kDigits[] = "0123456789abcdef";
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0x0f];
  }
  EXPECT_EQ(Plain(bytes, "NULL", false).text, "hex=" + hex);
}

std::vector<uint8_t> MembershipExpression() {
  const OlvaUUID members[2] = {{{0, 0, 0, 2}}, {{0xab, 0xcd}}};
  const std::vector<uint8_t> inner =
      *olva::expr::ExprWriter().AddU32(7).AddU32(1).AddUuids(members).Finish();
  return *olva::expr::ExprWriter().AddExpression(inner).Finish();
}

TEST(ConverterGeneric, RendersAnExpressionAsNestedLists) {
  const std::vector<uint8_t> expression = MembershipExpression();
  const Result json = Plain(expression, "NULL", true);
  ASSERT_EQ(json.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(json.text,
            "{\"expr\":[[7,1,[\"00000002-0000-0000-0000-000000000000\","
            "\"abcd0000-0000-0000-0000-000000000000\"]]]}");
  EXPECT_TRUE(testing_json::IsValidJson(json.text));
  EXPECT_EQ(Plain(expression, "HuxStyle", false).text,
            "expr=[[7,1,[00000002-0000-0000-0000-000000000000,"
            "abcd0000-0000-0000-0000-000000000000]]]");
}

TEST(ConverterGeneric, RendersEveryElementKindOfAnExpression) {
  const std::vector<uint8_t> empty = *olva::expr::ExprWriter().Finish();
  const std::vector<uint8_t> expression = *olva::expr::ExprWriter()
                                               .AddU64(UINT64_MAX)
                                               .AddString("a \"b\"\n")
                                               .AddUuids({})
                                               .AddExpression(empty)
                                               .Finish();
  const Result json = Plain(expression, "KeyValueListStyle", true);
  EXPECT_EQ(json.text, "{\"expr\":[18446744073709551615,\"a \\\"b\\\"\\n\",[],[]]}");
  EXPECT_TRUE(testing_json::IsValidJson(json.text)) << json.text;
  EXPECT_EQ(Plain(expression, "NULL", false).text,
            "expr=[18446744073709551615,\"a \\\"b\\\"\\n\",[],[]]");
  EXPECT_EQ(Plain(empty, "NULL", false).text, "expr=[]");
}

TEST(ConverterGeneric, MasksStringsButNotNumbersOfAnExpression) {
  const std::vector<uint8_t> expression =
      *olva::expr::ExprWriter().AddU32(12).AddString("hostname-1").Finish();
  const Result r = Masked(expression, "NULL", false);
  ASSERT_EQ(r.text.substr(0, 13), "expr=[12,str-") << r.text;
  EXPECT_EQ(r.text.size(), 13 + 16 + 1) << r.text;
  EXPECT_EQ(r.text.find("hostname"), std::string::npos);
}

TEST(ConverterGeneric, RendersAnIllFormedExpressionAsHex) {
  std::vector<uint8_t> cut = MembershipExpression();
  cut.pop_back();
  const Result r = Plain(cut, "NULL", false);
  ASSERT_EQ(r.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(r.text.substr(0, 4), "hex=");
  EXPECT_EQ(r.text.size(), 4 + 2 * cut.size());
}

TEST(ConverterGeneric, SizesAnExpressionTextExactly) {
  const std::vector<uint8_t> expression = MembershipExpression();
  const Result full = Plain(expression, "NULL", true);
  const uint32_t needed = static_cast<uint32_t>(full.text.size() + 1);
  for (uint32_t capacity = 0; capacity < needed; ++capacity) {
    const Result cut = Plain(expression, "NULL", true, capacity);
    ASSERT_EQ(cut.status, TARNE_STATUS_BUFFER_TOO_SMALL);
    ASSERT_EQ(cut.capacity, needed);
  }
  EXPECT_EQ(Plain(expression, "NULL", true, needed).text, full.text);
}

}  // namespace
}  // namespace converter_test
