// What the converters write (every field kind in both forms, escaping, payloads that no
// schema describes, expressions, obfuscation tokens), and the field encoder that reads the
// plain form back, under the test directory and every schema of the tool's own directory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "convert/field_codec.h"
#include "converter_support.h"
#include "directory/expr_writer.h"
#include "tables/schemas.h"  // the tool's own directory

namespace converter_test {
namespace {

const std::vector<uint8_t> kMapped10001{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 10, 0, 0, 1};
const std::vector<uint8_t> kDocumentation7{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0,
                                           0,    0,    0,    0,    0, 0, 0, 7};

// Every kind at an edge: extreme numbers, a flag byte other than 1, an IPv4-mapped address
// (left in IPv6 form in a field, shown as IPv4 in an address list).
std::vector<uint8_t> FullPayload() {
  Payload p(kAllKindsSize);
  const uint32_t u32 = 0xffffffffu;
  const uint8_t flag = 0x80;
  const uint8_t ipv4[] = {192, 168, 1, 20};
  const std::vector<uint8_t> uuid = Uuid(0x00);
  p.U64(0, std::numeric_limits<uint64_t>::max()).Raw(8, &u32, 4).Raw(12, &flag, 1);
  p.Raw(16, uuid.data(), 16).Raw(32, ipv4, 4).Raw(36, kMapped10001.data(), 16);
  p.U64(56, p.AppendString("eui.0000000000000001"));
  p.U64(64, p.AppendString("host one"));
  p.U64(72, static_cast<uint64_t>(std::numeric_limits<int64_t>::min()));
  const uint64_t list = p.Append(Uuid(0x01));
  p.Append(Uuid(0x02));
  p.U64(80, 2).U64(88, list);
  const uint64_t addrs = p.Append(kMapped10001);
  p.Append(kDocumentation7);
  p.U64(96, 2).U64(104, addrs);
  return p.bytes();
}

TEST(ConverterKinds, RendersEveryKindAsJsonAndAsAPlainLine) {
  EXPECT_EQ(Plain(FullPayload(), "AllKinds", true).text,
            "{\"u64\":18446744073709551615,\"u32\":4294967295,\"flag\":true,"
            "\"uuid\":\"00112233-4455-6677-8899-aabbccddeeff\",\"ipv4\":\"192.168.1.20\","
            "\"ipv6\":\"::ffff:10.0.0.1\",\"str\":\"eui.0000000000000001\",\"text\":\"host one\","
            "\"s64\":-9223372036854775808,\"list\":[\"01122334-4556-6778-899a-abbccddeef00\","
            "\"02132435-4657-6879-8a9b-acbdcedff001\"],\"addrs\":[\"10.0.0.1\",\"2001:db8::7\"]}");
  EXPECT_EQ(Plain(FullPayload(), "AllKinds", false).text,
            "u64=18446744073709551615 u32=4294967295 flag=true "
            "uuid=00112233-4455-6677-8899-aabbccddeeff ipv4=192.168.1.20 ipv6=::ffff:10.0.0.1 "
            "str=eui.0000000000000001 text=\"host one\" s64=-9223372036854775808 "
            "list=01122334-4556-6778-899a-abbccddeef00,02132435-4657-6879-8a9b-acbdcedff001 "
            "addrs=10.0.0.1,2001:db8::7");
  // A name is looked up by its text, not by its address: the same buffer naming no schema.
  char name[16] = "AllKinds";
  EXPECT_EQ(Plain(FullPayload(), name, false).text.substr(0, 4), "u64=");
  std::strcpy(name, "NULL");  // NOLINT: the point is the same address
  EXPECT_EQ(Plain(FullPayload(), name, false).text.substr(0, 4), "hex=");
}

// Each decimal length at both of its ends, and each bit width at both of its ends, since
// numbers are written from their length worked out first.
TEST(ConverterKinds, WritesNumbersOfEveryLengthAndSign) {
  std::vector<uint64_t> values{0, std::numeric_limits<uint64_t>::max(), 1234567890123456789,
                               9876543210987654321u, 98765432109876543};
  for (uint64_t power = 10;; power *= 10) {
    values.insert(values.end(), {power - 1, power});
    if (power > std::numeric_limits<uint64_t>::max() / 10) break;
  }
  for (int bits = 1; bits < 64; ++bits) {
    values.insert(values.end(), {(uint64_t{1} << bits) - 1, uint64_t{1} << bits});
  }
  olva::expr::ExprWriter expression;
  std::string expected = "expr=[";
  for (const uint64_t value : values) {
    expression.AddU64(value);
    expected += std::to_string(value) + ",";
  }
  expected.back() = ']';
  EXPECT_EQ(Plain(*expression.Finish(), "NULL", false).text, expected);

  for (const uint64_t value : values) {
    const auto positive = static_cast<int64_t>(value >> 1);
    for (const int64_t s64 : {positive, -positive, -positive - 1}) {
      const std::string text =
          Plain(Payload(kAllKindsSize).U64(72, static_cast<uint64_t>(s64)).bytes(), "AllKinds",
                false)
              .text;
      EXPECT_NE(text.find(" s64=" + std::to_string(s64) + " "), std::string::npos) << text;
    }
  }
}

TEST(ConverterKinds, EscapesStringsForJsonAndQuotesThemInPlainText) {
  const std::string cases[][3] = {
      // bytes, JSON string, plain value
      {"", "\"\"", "\"\""},
      {"say \"hi\"\\", R"("say \"hi\"\\")", R"("say \"hi\"\\")"},
      {"a\nb\tc\r", R"("a\nb\tc\r")", R"("a\nb\tc\r")"},
      {"\x01\x1f\b\f", R"("\u0001\u001f\b\f")", R"("\x01\x1f\x08\x0c")"},
      {"del\x7f", "\"del\x7f\"", R"("del\x7f")"},
      {"gr\xc3\xbc\xc3\x9f", "\"gr\xc3\xbc\xc3\x9f\"", "gr\xc3\xbc\xc3\x9f"},
      {"\xe6\x97\xa5 \xf0\x9f\x98\x80", "\"\xe6\x97\xa5 \xf0\x9f\x98\x80\"",
       "\"\xe6\x97\xa5 \xf0\x9f\x98\x80\""},
      // Stray and cut bytes, an overlong form, a surrogate, a code point past U+10FFFF.
      {"\xff\xc3(", R"("\ufffd\ufffd(")", R"("\xff\xc3(")"},
      {"\xc0\xaf\xed\xa0\x80", R"("\ufffd\ufffd\ufffd\ufffd\ufffd")", R"("\xc0\xaf\xed\xa0\x80")"},
      {"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")", R"("\xf4\x90\x80\x80")"},
  };
  for (const auto &[bytes, json, plain] : cases) {
    Payload p(8);
    p.U64(0, p.AppendString(bytes));
    EXPECT_EQ(Plain(p.bytes(), "OneString", true).text, "{\"s\":" + json + "}") << plain;
    EXPECT_EQ(Plain(p.bytes(), "OneString", false).text, "s=" + plain);
  }
}

TEST(ConverterKinds, ReadsTrailingValueToTheFirstNulOrThePayloadEnd) {
  const std::string withNul("hello\0junk", 10);
  EXPECT_EQ(Plain({withNul.begin(), withNul.end()}, "Symbol", true).text, "{\"value\":\"hello\"}");
  EXPECT_EQ(Plain({'a', ' ', 'b'}, "Symbol", false).text, "value=\"a b\"");
  EXPECT_EQ(Plain({}, "Symbol", true).text, "{\"value\":\"\"}");
}

TEST(ConverterGeneric, RendersStylesNullAndUnknownNamesAsHex) {
  const std::vector<uint8_t> bytes{0x0a, 0x0b, 0xff, 0x00, 0x7e};
  for (const char *name : {"HuxStyle", "NULL", "TarneNoSuchSchema", "allkinds", ""}) {
    EXPECT_EQ(Plain(bytes, name, true).text, "{\"hex\":\"0a0bff007e\"}") << name;
    EXPECT_EQ(Plain(bytes, name, false).text, "hex=0a0bff007e") << name;
  }
  EXPECT_EQ(Plain(bytes, "AllKinds", false, 1 << 10, nullptr).text, "hex=0a0bff007e");
  EXPECT_EQ(Plain(bytes, nullptr, true).text, "{\"hex\":\"0a0bff007e\"}");
  EXPECT_EQ(Plain({}, "NULL", true).text, "{\"hex\":\"\"}");
  EXPECT_EQ(Plain({1, 2}, "Empty", true).text, "{}");  // a schema without fields
  EXPECT_EQ(Plain({1, 2}, "Empty", false).status, TARNE_STATUS_SUCCESS);
}

TEST(ConverterGeneric, RendersAnExpressionAsNestedListsAndAnIllFormedOneAsHex) {
  const OlvaUUID members[2] = {{{0, 0, 0, 2}}, {{0xab, 0xcd}}};
  const std::vector<uint8_t> inner =
      *olva::expr::ExprWriter().AddU32(7).AddUuids(members).AddUuids({}).Finish();
  std::vector<uint8_t> expression = *olva::expr::ExprWriter()
                                         .AddU64(UINT64_MAX)
                                         .AddString("a \"b\"\n")
                                         .AddExpression(inner)
                                         .AddExpression(*olva::expr::ExprWriter().Finish())
                                         .Finish();
  const char *uuids = "00000002-0000-0000-0000-000000000000,abcd0000-0000-0000-0000-000000000000";
  EXPECT_EQ(
      Plain(expression, "KeyValueListStyle", false).text,
      "expr=[18446744073709551615,\"a \\\"b\\\"\\n\",[7,[" + std::string(uuids) + "],[]],[]]");
  EXPECT_EQ(Plain(expression, "NULL", true).text,
            "{\"expr\":[18446744073709551615,\"a \\\"b\\\"\\n\",[7,[\"00000002-0000-0000-0000-"
            "000000000000\",\"abcd0000-0000-0000-0000-000000000000\"],[]],[]]}");
  expression.pop_back();
  const Result cut = Plain(expression, "NULL", false);
  EXPECT_EQ(cut.text.substr(0, 4), "hex=");
  EXPECT_EQ(cut.text.size(), 4 + 2 * expression.size());
}

// Numbers each token (a prefix and 16 hex digits) by first appearance: "str-#1".
std::string Tokens(const std::string &text) {
  static const std::regex kToken("(str|bin)-[0-9a-f]{16}");
  std::map<std::string, size_t> seen;
  std::string out;
  size_t at = 0;
  for (std::sregex_iterator m(text.begin(), text.end(), kToken), end; m != end; ++m) {
    const size_t number = seen.try_emplace(m->str(), seen.size() + 1).first->second;
    const size_t from = static_cast<size_t>(m->position());
    out += text.substr(at, from - at) + (*m)[1].str() + "-#" + std::to_string(number);
    at = from + static_cast<size_t>(m->length());
  }
  return out + text.substr(at);
}

TEST(ConverterObfuscation, ReplacesEachStringByAStableTokenAndLeavesTheRest) {
  const auto masked = [](std::string_view str, std::string_view text) {
    Payload p(kAllKindsSize);
    p.U64(0, 5).U64(56, p.AppendString(str)).U64(80, 1).U64(88, p.Append(Uuid(0x50)));
    if (!text.empty()) p.U64(64, p.AppendString(text));
    return Masked(p.bytes(), "AllKinds", false).text;
  };
  const std::string before =
      "u64=5 u32=0 flag=false uuid=00000000-0000-0000-0000-000000000000 ipv4=0.0.0.0 ipv6=:: ";
  const std::string after = " s64=0 list=50617283-94a5-b6c7-d8e9-fa0b1c2d3e4f addrs=";
  EXPECT_EQ(Tokens(masked("eui.0000000000000001", "node-host-17")),
            before + "str=str-#1 text=str-#2" + after);
  // The same string gets the same token, in another field and in another entry.
  EXPECT_EQ(Tokens(masked("dup", "dup") + masked("x", "dup")),
            before + "str=str-#1 text=str-#1" + after + before + "str=str-#2 text=str-#1" + after);
  EXPECT_EQ(Tokens(masked("a \"b\"\n", "")), before + "str=str-#1 text=" + after);
}

TEST(ConverterObfuscation, MasksTrailingValuesExpressionStringsAndRawBytes) {
  const std::vector<uint8_t> raw{'h', 'o', 's', 't', '1'};
  EXPECT_EQ(Tokens(Masked({'t', 'o', 'p'}, "Symbol", true).text), "{\"value\":\"str-#1\"}");
  EXPECT_EQ(Tokens(Masked(*olva::expr::ExprWriter().AddU32(12).AddString("name-1").Finish(), "NULL",
                          false)
                       .text),
            "expr=[12,str-#1]");
  EXPECT_EQ(Tokens(Masked(raw, "NULL", true).text), "{\"length\":5,\"masked\":\"bin-#1\"}");
  EXPECT_EQ(Tokens(Masked(raw, "TarneKupoStatus", false).text), "length=5 masked=bin-#1");
}

struct Encode {
  std::vector<uint8_t> payload;
  std::string error;
  PEK_ReturnStatus status;
  Encode(const char *schema, std::vector<std::string_view> words)
      : status(OlvaFields_Encode(kTestDirectory, schema, words, &payload, &error)) {}
};

// The name=value words of a plain text: split at the blanks outside quotes.
std::vector<std::string> Words(const std::string &text) {
  static const std::regex kWord(R"((?:"(?:[^"\\]|\\.)*"|[^ "])+)");
  return {std::sregex_token_iterator(text.begin(), text.end(), kWord), {}};
}

TEST(FieldCodec, EncodesThePlainTextOfEveryKindBackToWhatTheConverterRead) {
  const std::string plain = Plain(FullPayload(), "AllKinds", false).text;
  const std::vector<std::string> words = Words(plain);
  const Encode e = Encode("AllKinds", {words.begin(), words.end()});
  ASSERT_EQ(e.status, TARNE_STATUS_SUCCESS) << e.error;
  EXPECT_EQ(Plain(e.payload, "AllKinds", false).text, plain);
  EXPECT_EQ(Encode("Symbol", {"value=\"a b\""}).payload, (std::vector<uint8_t>{'a', ' ', 'b', 0}));
}

TEST(FieldCodec, RefusesWhatItCannotEncodeNamingTheField) {
  for (std::string_view bad :
       {"u64=12x", "u64=-1", "u64=", "u64=18446744073709551616", "u32=4294967296", "s64=1.5",
        "flag=2", "uuid=00112233-4455-6677-8899-aabbccddeef", "ipv4=300.1.1.1", "ipv6=fe80::zz",
        "list=00112233-4455-6677-8899-aabbccddeeff,", "addrs=10.0.0.1,host", "str=\"open",
        "str=\"bad\\q\"", "str=\"nul\\x00\"", "str=\"a\"b", "capacity=5"}) {
    const Encode e = Encode("AllKinds", {bad});
    EXPECT_EQ(e.status, TARNE_STATUS_BAD_PARAMETER) << bad;
    const std::string name(bad.substr(0, bad.find('=')));
    EXPECT_NE(e.error.find("'" + name + "'"), std::string::npos) << bad << ": " << e.error;
  }
  EXPECT_NE(Encode("AllKinds", {"u32=1", "u32=2"}).error.find("'u32' is assigned twice"),
            std::string::npos);
  EXPECT_EQ(Encode("AllKinds", {"u32"}).status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(Encode("HuxStyle", {}).status, TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(Encode("NoSuch", {}).status, TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(Encode("BadKind", {}).status, TARNE_STATUS_BAD_PARAMETER);
}

// Every schema: its zero payload renders as valid JSON and as one word per field, and the
// words encode back to the same payload.
TEST(ConverterDirectory, RendersAndReencodesEverySchema) {
  int schemas = 0;
  for (const TarneSchemaDirEntry *entry = TarneSchemaDirectory; entry->name != nullptr; ++entry) {
    if (entry->fields == nullptr) continue;
    ++schemas;
    std::vector<uint8_t> payload, again;
    std::string error;
    ASSERT_EQ(OlvaFields_Encode(TarneSchemaDirectory, entry->name, {}, &payload, &error), 0)
        << entry->name << ": " << error;
    ASSERT_EQ(Plain(payload, entry->name, true, 1 << 16, TarneSchemaDirectory).status, 0);
    const std::string plain =
        Plain(payload, entry->name, false, 1 << 16, TarneSchemaDirectory).text;
    const std::vector<std::string> words = Words(plain);
    size_t fields = 0;
    while (entry->fields[fields].name != nullptr) ++fields;
    EXPECT_EQ(words.size(), fields) << entry->name << ": " << plain;
    ASSERT_EQ(OlvaFields_Encode(TarneSchemaDirectory, entry->name,
                                std::vector<std::string_view>(words.begin(), words.end()), &again,
                                &error),
              0)
        << entry->name << ": " << error;
    EXPECT_EQ(again, payload) << entry->name;
  }
  EXPECT_EQ(schemas, 65);
}

}  // namespace
}  // namespace converter_test
