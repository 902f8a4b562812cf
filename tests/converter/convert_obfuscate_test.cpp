// The obfuscating converter hides strings behind stable tokens and leaves everything else.
#include "convert_obfuscate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_support.h"
#include "json_checker.h"

namespace converter_test {
namespace {

std::vector<uint8_t> TwoStrings(std::string_view str, std::string_view text) {
  Payload p(kAllKindsSize);
  p.U64(0, 500107862016).Byte(12, 1).U64(72, static_cast<uint64_t>(int64_t{-3}));
  const std::vector<uint8_t> uuid = Uuid(0x40);
  p.Raw(16, uuid.data(), 16);
  p.U64(56, p.AppendString(str));
  if (!text.empty()) p.U64(64, p.AppendString(text));
  p.U64(80, 1).U64(88, p.Append(Uuid(0x50)));
  return p.bytes();
}

// True when text is prefix followed by exactly 16 lower-case hex digits.
bool IsToken(std::string_view text, std::string_view prefix = "str-") {
  if (text.size() != prefix.size() + 16 || text.substr(0, prefix.size()) != prefix) return false;
  return text.substr(prefix.size()).find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string FieldValue(const std::string &plain, const std::string &name) {
  const size_t start = plain.find(" " + name + "=");
  if (start == std::string::npos) return "<missing>";
  const size_t from = start + name.size() + 2;
  return plain.substr(from, plain.find(' ', from) - from);
}

TEST(ConverterObfuscation, ReplacesStringsWithTokensThatHideThem) {
  const Result r = Masked(TwoStrings("eui.0000000000000001", "node-host-17"), "AllKinds", false);
  ASSERT_EQ(r.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(r.text.find("eui.0000000000000001"), std::string::npos) << r.text;
  EXPECT_EQ(r.text.find("node-host"), std::string::npos) << r.text;
  EXPECT_TRUE(IsToken(FieldValue(r.text, "str"))) << r.text;
  EXPECT_TRUE(IsToken(FieldValue(r.text, "text"))) << r.text;
  EXPECT_NE(FieldValue(r.text, "str"), FieldValue(r.text, "text"));
}

TEST(ConverterObfuscation, GivesTheSameStringTheSameTokenInEveryField) {
  const Result same = Masked(TwoStrings("dup", "dup"), "AllKinds", false);
  EXPECT_EQ(FieldValue(same.text, "str"), FieldValue(same.text, "text"));
  const Result again = Masked(TwoStrings("dup", "other"), "AllKinds", false);
  EXPECT_EQ(FieldValue(again.text, "str"), FieldValue(same.text, "str"));
  EXPECT_NE(FieldValue(again.text, "text"), FieldValue(same.text, "text"));
}

TEST(ConverterObfuscation, LeavesNumbersUuidsListsAndAbsentStringsAlone) {
  const std::vector<uint8_t> payload = TwoStrings("secret", "");
  const Result plain = Plain(payload, "AllKinds", false);
  const Result masked = Masked(payload, "AllKinds", false);
  for (const char *name : {"u32", "flag", "uuid", "ipv4", "ipv6", "text", "s64", "list", "addrs"}) {
    EXPECT_EQ(FieldValue(masked.text, name), FieldValue(plain.text, name)) << name;
  }
  EXPECT_EQ(masked.text.rfind("u64=500107862016 ", 0), 0u) << masked.text;
}

TEST(ConverterObfuscation, KeepsStructuredTextValidJson) {
  const Result r = Masked(TwoStrings("a \"b\"\n", "c"), "AllKinds", true);
  ASSERT_EQ(r.status, TARNE_STATUS_SUCCESS);
  EXPECT_TRUE(testing_json::IsValidJson(r.text)) << r.text;
  EXPECT_NE(r.text.find("\"text\":\"str-"), std::string::npos) << r.text;
}

TEST(ConverterObfuscation, MasksTheTrailingValue) {
  const std::vector<uint8_t> value{'t', 'o', 'p', 's', 'e', 'c', 'r', 'e', 't'};
  const Result r = Masked(value, "Symbol", true);
  const std::string_view text(r.text);
  ASSERT_EQ(text.substr(0, 10), "{\"value\":\"") << text;
  EXPECT_TRUE(IsToken(text.substr(10, 20))) << text;
  EXPECT_EQ(text.substr(30), "\"}") << text;
}

TEST(ConverterObfuscation, MasksRawBytesOfGenericPayloads) {
  const std::vector<uint8_t> bytes{'h', 'o', 's', 't', '1'};
  const Result json = Masked(bytes, "NULL", true);
  const std::string_view text(json.text);
  ASSERT_EQ(text.substr(0, 22), "{\"length\":5,\"masked\":\"") << text;
  EXPECT_TRUE(IsToken(text.substr(22, 20), "bin-")) << text;
  EXPECT_EQ(text.substr(42), "\"}") << text;
  const Result plain = Masked(bytes, "TarneKupoStatus", false);
  ASSERT_EQ(plain.text.substr(0, 16), "length=5 masked=") << plain.text;
  EXPECT_TRUE(IsToken(std::string_view(plain.text).substr(16), "bin-")) << plain.text;
  EXPECT_EQ(plain.text.find("686f7374"), std::string::npos);
}

TEST(ConverterObfuscation, HashesWithSipHash24) {
  // The reference vector of SipHash-2-4: key 00..0f, message 00..0e.
  const olva::SipKey key{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
  uint8_t message[15];
  for (uint8_t i = 0; i < 15; ++i) message[i] = i;
  EXPECT_EQ(olva::SipHash24(key, message, 15), 0xa129ca6149be45e5ULL);
  EXPECT_EQ(olva::SipHash24(key, message, 0), 0x726fdb47dd0e0e31ULL);
}

TEST(ConverterObfuscation, TokensDependOnTheKey) {
  const uint8_t text[] = {'x', 'y'};
  const olva::Token a = olva::MakeToken("str-", olva::SipKey{1, 2}, text, 2);
  const olva::Token b = olva::MakeToken("str-", olva::SipKey{1, 3}, text, 2);
  EXPECT_NE(a.View(), b.View());
  EXPECT_EQ(a.View().substr(0, 4), "str-");
}

}  // namespace
}  // namespace converter_test
