// The field encoder writes what the converter reads, and refuses what it cannot encode.
#include "field_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "converter_support.h"
#include "json_checker.h"

namespace converter_test {
namespace {

struct Encoded {
  PEK_ReturnStatus status;
  std::vector<uint8_t> payload;
  std::string error;
};

Encoded Encode(const char *schema, std::vector<std::string_view> assignments,
               const TarneSchemaDirEntry *directory = kTestDirectory) {
  Encoded out{};
  out.status = OlvaFields_Encode(directory, schema, assignments, &out.payload, &out.error);
  return out;
}

// Splits a plain text at the blanks that separate its fields (not those inside quotes).
std::vector<std::string> SplitPlain(const std::string &text) {
  std::vector<std::string> words(1);
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' && !quoted) {
      words.emplace_back();
      continue;
    }
    words.back() += c;
    if (c == '"') quoted = !quoted;
    if (c == '\\' && quoted && i + 1 < text.size()) words.back() += text[++i];
  }
  return words;
}

const std::vector<std::string_view> kEveryKind{
    "u64=18446744073709551615",
    "u32=7",
    "flag=true",
    "uuid=00112233-4455-6677-8899-AABBCCDDEEFF",
    "ipv4=192.168.1.20",
    "ipv6=fe80::1",
    "str=eui.0000000000000001",
    "text=\"two words\\n\\x01\"",
    "s64=-42",
    "list=01122334-4556-6778-899a-abbccddeef00,02132435-4657-6879-8a9b-acbdcedff001",
    "addrs=10.0.0.1,2001:db8::7"};

TEST(FieldCodec, EncodesEveryKindSoThatTheConverterReadsItBack) {
  const Encoded e = Encode("AllKinds", kEveryKind);
  ASSERT_EQ(e.status, TARNE_STATUS_SUCCESS) << e.error;
  const Result plain = Plain(e.payload, "AllKinds", false);
  ASSERT_EQ(plain.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(
      plain.text,
      "u64=18446744073709551615 u32=7 flag=true uuid=00112233-4455-6677-8899-aabbccddeeff "
      "ipv4=192.168.1.20 ipv6=fe80::1 str=eui.0000000000000001 text=\"two words\\n\\x01\" "
      "s64=-42 list=01122334-4556-6778-899a-abbccddeef00,02132435-4657-6879-8a9b-acbdcedff001 "
      "addrs=10.0.0.1,2001:db8::7");
  const Result json = Plain(e.payload, "AllKinds", true);
  EXPECT_TRUE(testing_json::IsValidJson(json.text)) << json.text;
  EXPECT_NE(json.text.find("\"text\":\"two words\\n\\u0001\""), std::string::npos) << json.text;
}

TEST(FieldCodec, EncodesThePlainTextBackToTheSamePayload) {
  const Encoded first = Encode("AllKinds", kEveryKind);
  const std::vector<std::string> words = SplitPlain(Plain(first.payload, "AllKinds", false).text);
  const std::vector<std::string_view> views(words.begin(), words.end());
  const Encoded second = Encode("AllKinds", views);
  ASSERT_EQ(second.status, TARNE_STATUS_SUCCESS) << second.error;
  EXPECT_EQ(second.payload, first.payload);
}

TEST(FieldCodec, LeavesUnassignedFieldsZeroAbsentAndEmpty) {
  const Encoded e = Encode("AllKinds", {"u32=1"});
  ASSERT_EQ(e.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(e.payload.size(), kAllKindsSize);
  EXPECT_EQ(Plain(e.payload, "AllKinds", true).text,
            "{\"u64\":0,\"u32\":1,\"flag\":false,\"uuid\":\"00000000-0000-0000-0000-000000000000\","
            "\"ipv4\":\"0.0.0.0\",\"ipv6\":\"::\",\"str\":null,\"text\":null,\"s64\":0,"
            "\"list\":[],\"addrs\":[]}");
}

TEST(FieldCodec, DistinguishesAnEmptyStringFromAnAbsentOne) {
  const Encoded e = Encode("AllKinds", {"str=\"\"", "text="});
  ASSERT_EQ(e.status, TARNE_STATUS_SUCCESS);
  const std::string text = Plain(e.payload, "AllKinds", true).text;
  EXPECT_NE(text.find("\"str\":\"\",\"text\":null"), std::string::npos) << text;
}

TEST(FieldCodec, EncodesTheTrailingValue) {
  const Encoded e = Encode("Symbol", {"value=\"a b\""});
  ASSERT_EQ(e.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(e.payload, (std::vector<uint8_t>{'a', ' ', 'b', 0}));
  EXPECT_EQ(Plain(e.payload, "Symbol", false).text, "value=\"a b\"");
  EXPECT_EQ(Encode("Symbol", {}).payload, std::vector<uint8_t>{0});
}

TEST(FieldCodec, RefusesUnknownAndRepeatedNamesAndMissingEquals) {
  const Encoded unknown = Encode("AllKinds", {"u32=1", "capacity=5"});
  EXPECT_EQ(unknown.status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_NE(unknown.error.find("AllKinds has no field 'capacity'"), std::string::npos)
      << unknown.error;
  const Encoded twice = Encode("AllKinds", {"u32=1", "u32=2"});
  EXPECT_EQ(twice.status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_NE(twice.error.find("'u32' is assigned twice"), std::string::npos) << twice.error;
  const Encoded bare = Encode("AllKinds", {"u32"});
  EXPECT_EQ(bare.status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_NE(bare.error.find("not name=value"), std::string::npos) << bare.error;
}

TEST(FieldCodec, RefusesValuesTheKindDoesNotAccept) {
  const std::string_view bad[] = {"u64=12x",
                                  "u64=-1",
                                  "u64=",
                                  "u64=18446744073709551616",
                                  "u32=4294967296",
                                  "u32=+1",
                                  "s64=1.5",
                                  "flag=yes",
                                  "flag=2",
                                  "uuid=00112233-4455-6677-8899-aabbccddeef",
                                  "uuid=00112233x4455-6677-8899-aabbccddeeff",
                                  "ipv4=300.1.1.1",
                                  "ipv4=fe80::1",
                                  "ipv6=fe80::zz",
                                  "list=00112233-4455-6677-8899-aabbccddeeff,",
                                  "addrs=10.0.0.1,host",
                                  "str=\"open",
                                  "str=\"bad\\q\"",
                                  "str=\"nul\\x00\"",
                                  "str=\"a\"b"};
  for (std::string_view assignment : bad) {
    const Encoded e = Encode("AllKinds", {assignment});
    EXPECT_EQ(e.status, TARNE_STATUS_BAD_PARAMETER) << assignment;
    const std::string_view name = assignment.substr(0, assignment.find('='));
    EXPECT_NE(e.error.find("'" + std::string(name) + "'"), std::string::npos)
        << assignment << ": " << e.error;
  }
}

TEST(FieldCodec, RefusesStylesUnknownSchemasAndUnknownKinds) {
  EXPECT_EQ(Encode("HuxStyle", {}).status, TARNE_STATUS_BAD_PARAMETER);
  const Encoded missing = Encode("NoSuch", {});
  EXPECT_EQ(missing.status, TARNE_STATUS_NOT_FOUND);
  EXPECT_NE(missing.error.find("no schema named 'NoSuch'"), std::string::npos);
  EXPECT_EQ(Encode("BadKind", {}).status, TARNE_STATUS_BAD_PARAMETER);
}

}  // namespace
}  // namespace converter_test
