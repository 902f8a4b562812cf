// Every field kind rendered in both forms, and strings that need escaping.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "converter_support.h"
#include "json_checker.h"

namespace converter_test {
namespace {

const std::vector<uint8_t> kIpv6LinkLocal{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const std::vector<uint8_t> kMapped10001{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 1};
const std::vector<uint8_t> kDocumentation7{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0,
                                           0,    0,    0,    0,    0, 0, 0, 7};

std::vector<uint8_t> FullPayload() {
  Payload p(kAllKindsSize);
  p.U64(0, std::numeric_limits<uint64_t>::max()).U32(8, 0xffffffffu).Byte(12, 1);
  const std::vector<uint8_t> uuid = Uuid(0x00);
  p.Raw(16, uuid.data(), 16);
  const uint8_t ipv4[] = {192, 168, 1, 20};
  p.Raw(32, ipv4, 4).Raw(36, kIpv6LinkLocal.data(), 16);
  p.U64(56, p.AppendString("eui.0000000000000001"));
  p.U64(64, p.AppendString("host one"));
  p.U64(72, static_cast<uint64_t>(int64_t{-5}));
  const uint64_t list = p.Append(Uuid(0x01));
  p.Append(Uuid(0x02));
  p.U64(80, 2).U64(88, list);
  const uint64_t addrs = p.Append(kMapped10001);
  p.Append(kDocumentation7);
  p.U64(96, 2).U64(104, addrs);
  return p.bytes();
}

std::vector<uint8_t> StringPayload(std::string_view text) {
  Payload p(8);
  p.U64(0, p.AppendString(text));
  return p.bytes();
}

TEST(ConverterKinds, RendersEveryKindAsOneJsonObject) {
  const Result r = Plain(FullPayload(), "AllKinds", true);
  ASSERT_EQ(r.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(r.text,
            "{\"u64\":18446744073709551615,\"u32\":4294967295,\"flag\":true,"
            "\"uuid\":\"00112233-4455-6677-8899-aabbccddeeff\",\"ipv4\":\"192.168.1.20\","
            "\"ipv6\":\"fe80::1\",\"str\":\"eui.0000000000000001\",\"text\":\"host one\","
            "\"s64\":-5,\"list\":[\"01122334-4556-6778-899a-abbccddeef00\","
            "\"02132435-4657-6879-8a9b-acbdcedff001\"],\"addrs\":[\"10.0.0.1\",\"2001:db8::7\"]}");
  EXPECT_TRUE(testing_json::IsValidJson(r.text));
}

TEST(ConverterKinds, RendersEveryKindAsOnePlainLine) {
  const Result r = Plain(FullPayload(), "AllKinds", false);
  ASSERT_EQ(r.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(r.text,
            "u64=18446744073709551615 u32=4294967295 flag=true "
            "uuid=00112233-4455-6677-8899-aabbccddeeff ipv4=192.168.1.20 ipv6=fe80::1 "
            "str=eui.0000000000000001 text=\"host one\" s64=-5 "
            "list=01122334-4556-6778-899a-abbccddeef00,02132435-4657-6879-8a9b-acbdcedff001 "
            "addrs=10.0.0.1,2001:db8::7");
}

TEST(ConverterKinds, RendersZeroFieldsAbsentStringsAndEmptyLists) {
  const std::vector<uint8_t> zero(kAllKindsSize, 0);
  const Result json = Plain(zero, "AllKinds", true);
  ASSERT_EQ(json.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(json.text,
            "{\"u64\":0,\"u32\":0,\"flag\":false,\"uuid\":\"00000000-0000-0000-0000-000000000000\","
            "\"ipv4\":\"0.0.0.0\",\"ipv6\":\"::\",\"str\":null,\"text\":null,\"s64\":0,"
            "\"list\":[],\"addrs\":[]}");
  EXPECT_TRUE(testing_json::IsValidJson(json.text));
  const Result plain = Plain(zero, "AllKinds", false);
  ASSERT_EQ(plain.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(plain.text,
            "u64=0 u32=0 flag=false uuid=00000000-0000-0000-0000-000000000000 ipv4=0.0.0.0 "
            "ipv6=:: str= text= s64=0 list= addrs=");
}

TEST(ConverterKinds, ReadsSignedExtremesAndAnyNonZeroFlagByte) {
  Payload p(kAllKindsSize);
  p.U64(72, static_cast<uint64_t>(std::numeric_limits<int64_t>::min())).Byte(12, 0x80);
  const Result r = Plain(p.bytes(), "AllKinds", false);
  ASSERT_EQ(r.status, TARNE_STATUS_SUCCESS);
  EXPECT_NE(r.text.find(" s64=-9223372036854775808 "), std::string::npos) << r.text;
  EXPECT_NE(r.text.find(" flag=true "), std::string::npos) << r.text;
}

TEST(ConverterKinds, LeavesIpv4MappedFieldsInIpv6Form) {
  Payload p(kAllKindsSize);
  p.Raw(36, kMapped10001.data(), 16);
  const Result r = Plain(p.bytes(), "AllKinds", false);
  EXPECT_NE(r.text.find(" ipv6=::ffff:10.0.0.1 "), std::string::npos) << r.text;
}

struct EscapeCase {
  std::string bytes;
  std::string json;
  std::string plain;
};

TEST(ConverterKinds, EscapesStringsForJsonAndQuotesThemInPlainText) {
  const EscapeCase cases[] = {
      {"plain", "\"plain\"", "plain"},
      {"", "\"\"", "\"\""},
      {"say \"hi\"\\", R"("say \"hi\"\\")", R"("say \"hi\"\\")"},
      {"a\nb\tc\r", R"("a\nb\tc\r")", R"("a\nb\tc\r")"},
      {"\x01\x1f\b\f", R"("\u0001\u001f\b\f")", R"("\x01\x1f\x08\x0c")"},
      {"del\x7f", "\"del\x7f\"", R"("del\x7f")"},
      {"gr\xc3\xbc\xc3\x9f"
       "e",
       "\"gr\xc3\xbc\xc3\x9f"
       "e\"",
       "gr\xc3\xbc\xc3\x9f"
       "e"},
      {"\xe6\x97\xa5 \xf0\x9f\x98\x80", "\"\xe6\x97\xa5 \xf0\x9f\x98\x80\"",
       "\"\xe6\x97\xa5 \xf0\x9f\x98\x80\""},
      {"\xff\xc3(", R"("\ufffd\ufffd(")", R"("\xff\xc3(")"},
      {"\xc0\xaf\xed\xa0\x80", R"("\ufffd\ufffd\ufffd\ufffd\ufffd")", R"("\xc0\xaf\xed\xa0\x80")"},
      {"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")", R"("\xf4\x90\x80\x80")"},
  };
  for (const EscapeCase &c : cases) {
    const std::vector<uint8_t> payload = StringPayload(c.bytes);
    const Result json = Plain(payload, "OneString", true);
    ASSERT_EQ(json.status, TARNE_STATUS_SUCCESS);
    EXPECT_EQ(json.text, "{\"s\":" + c.json + "}") << c.plain;
    EXPECT_TRUE(testing_json::IsValidJson(json.text)) << json.text;
    const Result plain = Plain(payload, "OneString", false);
    ASSERT_EQ(plain.status, TARNE_STATUS_SUCCESS);
    EXPECT_EQ(plain.text, "s=" + c.plain);
  }
}

TEST(ConverterKinds, ReadsTrailingValueToTheFirstNulOrThePayloadEnd) {
  const std::string withNul("hello\0junk", 10);
  const std::vector<uint8_t> cut(withNul.begin(), withNul.end());
  EXPECT_EQ(Plain(cut, "Symbol", true).text, "{\"value\":\"hello\"}");
  const std::vector<uint8_t> unterminated{'a', ' ', 'b'};
  EXPECT_EQ(Plain(unterminated, "Symbol", false).text, "value=\"a b\"");
  const Result empty = Plain({}, "Symbol", true);
  ASSERT_EQ(empty.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(empty.text, "{\"value\":\"\"}");
}

TEST(ConverterKinds, RendersASchemaWithoutFieldsAsAnEmptyObject) {
  EXPECT_EQ(Plain({1, 2}, "Empty", true).text, "{}");
  const Result plain = Plain({1, 2}, "Empty", false);
  EXPECT_EQ(plain.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(plain.text, "");
}

}  // namespace
}  // namespace converter_test
