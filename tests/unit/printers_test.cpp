// The three entry printers, byte for byte, on the content that trips them up: escapes, texts
// that only look like objects, extreme numbers, large texts and a buffer that cannot grow.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "channel_capture.h"
#include "output/entry_text_builder.h"
#include "output/formats.h"

namespace {

// DISK, healthy, byte 42 holds 7 but the type's top bit is clear, so it must not show.
TarneEntry DiskEntry() {
  TarneEntry entry{};
  for (uint8_t i = 0; i < 16; ++i) {
    entry.uuid.bytes[i] = i;
    entry.owner.bytes[i] = static_cast<uint8_t>(0xF0 + i);
    entry.md5sum[i] = static_cast<uint8_t>(0xA0 + i);
  }
  entry.revision = 42;
  entry.type = 0x04;
  entry.flag = 0x02;
  entry.minHostVersion = 7;
  entry.valueLen = 12;
  return entry;
}

const char kDiskPretty[] =
    "{\n   \"uuid\": \"00010203-0405-0607-0809-0a0b0c0d0e0f\", \n"
    "   \"owner\": \"f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff\", \n   \"health\": \"Healthy\", \n"
    "   \"revision\": \"42\",\n   \"type\": \"DISK\",\n   \"flag\": \"2\",\n"
    "   \"minHostVersion\": \"0\",\n   \"md5sum\": \"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\",\n"
    "   \"valueLen\": \"12\",\n";

class PrinterTest : public testing::Test {
 protected:
  ChannelCapture capture_;
  const TarneEntry disk_ = DiskEntry();
};

TEST_F(PrinterTest, SimpleLineWithItsQuirks) {
  TarneEntry entry = disk_;
  Simple_PrintEntry(nullptr, 1, &entry, "disk text", 10, nullptr);
  entry.type = 0x92;  // 18 with the min-host-version bit: printed as LOCK/SYMBOL
  entry.flag = 0xFD;
  entry.revision = UINT64_MAX;
  Simple_PrintEntry("pfx:", 0, &entry, nullptr, 8, "NoMemory");
  EXPECT_EQ(capture_.Out(),
            "owner=f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff(Health: Healthy) "
            "uuid=00010203-0405-0607-0809-0a0b0c0d0e0f type=DISK rev=42 minHostVer=0  "
            "[content = disk text], errorStr=(null)\n\n"
            "pfx:owner=f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff(Health: Unhealthy) "
            "uuid=00010203-0405-0607-0809-0a0b0c0d0e0f type=LOCK/SYMBOL "
            "rev=18446744073709551615 minHostVer=7  [content = null], errorStr=NoMemory\n\n");
}

// The pretty entry's frame and separators are checked end to end; here, the content forms:
// text in braces as it is, any other text escaped as a string.
TEST_F(PrinterTest, JsonOnlyTextInBracesIsAnObject) {
  const std::pair<const char *, const char *> forms[] = {
      {"{}", "{}"},     {"{", "\"{\""},   {"x}", "\"x}\""},
      {"{x", "\"{x\""}, {"{\"}", "{\"}"}, {"{not json}", "{not json}"}};  // never checked
  for (const auto &[content, shown] : forms) {
    Json_PrintEntry(nullptr, 0, &disk_, content, 0, nullptr);
    EXPECT_NE(capture_.Out().find(std::string("\"content\": ") + shown + ",\n"), std::string::npos)
        << content;
  }
  Json_PrintEntry(nullptr, 0, &disk_, "a\"b\\c\nd", 0, nullptr);
  EXPECT_NE(capture_.Out().find("\"content\": \"a\\\"b\\\\c\nd\",\n"), std::string::npos);
}

TEST_F(PrinterTest, JsonCompactAndExtremeNumbers) {
  MutableSettings().compactOutput = true;
  TarneEntry entry = disk_;
  entry.type = 0x8D;  // HUX_OBJECT with its minimum host version
  entry.flag = 0x82;
  entry.valueLen = 0x80000000u;
  Json_PrintEntry(nullptr, 1, &entry, "{}", 3, nullptr);
  Json_PrintEntry(nullptr, 0, &entry, "say \"hi\"", 9, "NoMemory");
  const std::string fields =
      "{\"uuid\":\"00010203-0405-0607-0809-0a0b0c0d0e0f\","
      "\"owner\":\"f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff\",\"health\":\"Healthy\","
      "\"revision\":\"42\",\"type\":\"HUX_OBJECT\",\"flag\":\"130\",\"minHostVersion\":\"7\","
      "\"md5sum\":\"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\",\"valueLen\":\"-2147483648\",";
  EXPECT_EQ(capture_.Out(), " " + fields + "\"content\":{},\"errorStr\":\"(null)\"}," + fields +
                                "\"content\":\"say \\\"hi\\\"\",\"errorStr\":\"NoMemory\"}");
}

// Every pattern of bytes to escape in eight bytes, at every offset from the start of the
// content, so that each pattern falls in either half of a sixteen-byte step and across them,
// with every length of the last, partial step; and the patterns repeated past the first and
// the kept capacity of the buffer, then runs of escapes longer than a step, escapes at both ends.
TEST_F(PrinterTest, EveryPatternOfQuotesAndBackslashesIsEscaped) {
  std::string patterns;
  for (unsigned mask = 0; mask < 256; ++mask) {
    for (unsigned i = 0; i < 8; ++i) {
      patterns += (mask >> i & 1) == 0 ? static_cast<char>('a' + i) : "\"\\"[(mask + i) % 2];
    }
  }
  std::vector<std::string> contents;
  for (std::size_t offset = 0; offset < 16; ++offset) {
    contents.push_back(std::string(offset, 'p') + patterns + std::string(offset * 4 % 16, '"'));
  }
  contents.emplace_back("\"");
  for (int i = 0; i < 1100; ++i) contents.back() += patterns;
  for (std::size_t i = 0; i < 64; ++i) contents.back() += std::string(i % 37, "\"\\"[i % 2]) + "z";
  contents.back() += "\\";
  std::string expected;
  for (const std::string &content : contents) {
    expected += std::string(kDiskPretty) + "   \"content\": \"";
    for (const char c : content) {
      if (c == '"' || c == '\\') expected += '\\';
      expected += c;
    }
    expected += "\",\n   \"errorStr\": \"(null)\"\n},\n";
    Python_PrintEntry(nullptr, 1, &disk_, content.c_str(), 0, nullptr);
  }
  EXPECT_EQ(capture_.Out(), expected);
}

// Without memory for the text the entry is left out with one line on standard error, and
// the json listing goes on with "," as if it had been printed.
TEST_F(PrinterTest, EntryWithoutMemoryIsLeftOut) {
  const std::string big(std::size_t{1} << 20, '"');  // more than the buffer ever keeps
  const EntryTextGrow previous =
      EntryText_SetGrowFunction([](void *, std::size_t) -> void * { return nullptr; });
  testing::internal::CaptureStderr();
  Json_PrintEntry(nullptr, 1, &disk_, big.c_str(), 0, nullptr);
  Python_PrintEntry(nullptr, 0, &disk_, big.c_str(), 0, nullptr);
  Simple_PrintEntry(nullptr, 0, &disk_, big.c_str(), 0, nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  EntryText_SetGrowFunction(previous);
  Json_PrintEntry(nullptr, 0, &disk_, "x", 0, nullptr);
  const std::string failed = "Failed to escape content string\n\n";
  EXPECT_EQ(err, failed + failed + failed);
  EXPECT_EQ(capture_.Out(), "," + std::string(kDiskPretty) +
                                "   \"content\": \"x\",\n   \"errorStr\": \"(null)\"\n }\n");
}

}  // namespace
