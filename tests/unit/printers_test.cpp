// The three entry printers, byte for byte, and the content escaping they share. Expected
// texts are written out in full: they are what readers of the listings parse.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "channel_capture.h"
#include "output/formats.h"
#include "output/json_escape.h"
#include "output/output.h"
#include "settings/settings.h"

namespace {

// Keeps the failure message readable: both texts are shown in full.
testing::AssertionResult HasSubstr(const std::string &text, const std::string &part) {
  if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "\"" << part << "\" not found in \"" << text << "\"";
}

// uuid 00010203-0405-0607-0809-0a0b0c0d0e0f, owner f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff,
// type DISK without a minimum host version (byte 42 holds 7, which must not show), healthy.
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

// HUX_OBJECT with minimum host version 3, unhealthy, empty digest.
TarneEntry HuxEntry() {
  TarneEntry entry{};
  entry.uuid.bytes[15] = 0x01;
  entry.owner.bytes[0] = 0xAB;
  entry.revision = 7;
  entry.type = 0x8D;
  entry.flag = 0x00;
  entry.minHostVersion = 3;
  entry.valueLen = 0;
  return entry;
}

void *FailingAllocator(std::size_t) {
  return nullptr;
}

std::size_t lastAllocationSize = 0;
void *RecordingAllocator(std::size_t size) {
  lastAllocationSize = size;
  return std::malloc(size);
}

class PrinterTest : public testing::Test {
 protected:
  void SetUp() override {
    MutableSettings().channelOnStderr = false;
    MutableSettings().compactOutput = false;
  }

  std::string Printed() { return capture_.Out(); }
  std::string PrintedToChannelError() { return capture_.Err(); }

 private:
  ChannelCapture capture_;
};

// ---------------------------------------------------------------------------------------
// Simple format

using SimplePrinterTest = PrinterTest;

TEST_F(SimplePrinterTest, PrintsOneLineFollowedByAnEmptyLine) {
  const TarneEntry entry = DiskEntry();
  Simple_PrintEntry(nullptr, 1, &entry, "disk text", 10, nullptr);
  EXPECT_EQ(Printed(),
            "owner=f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff(Health: Healthy) "
            "uuid=00010203-0405-0607-0809-0a0b0c0d0e0f type=DISK rev=42 minHostVer=0  "
            "[content = disk text], errorStr=(null)\n\n");
}

TEST_F(SimplePrinterTest, ShowsMinHostVersionOnlyWithItsTypeBit) {
  TarneEntry entry = HuxEntry();
  Simple_PrintEntry(nullptr, 0, &entry, "", 0, nullptr);
  entry.type = 0x92;
  Simple_PrintEntry(nullptr, 0, &entry, "", 0, nullptr);
  entry.type = 0x12;
  Simple_PrintEntry(nullptr, 0, &entry, "", 0, nullptr);
  EXPECT_EQ(Printed(),
            "owner=ab000000-0000-0000-0000-000000000000(Health: Unhealthy) "
            "uuid=00000000-0000-0000-0000-000000000001 type=HUX_OBJECT rev=7 minHostVer=3  "
            "[content = ], errorStr=(null)\n\n"
            "owner=ab000000-0000-0000-0000-000000000000(Health: Unhealthy) "
            "uuid=00000000-0000-0000-0000-000000000001 type=LOCK/SYMBOL rev=7 minHostVer=3  "
            "[content = ], errorStr=(null)\n\n"
            "owner=ab000000-0000-0000-0000-000000000000(Health: Unhealthy) "
            "uuid=00000000-0000-0000-0000-000000000001 type=LOCK/SYMBOL rev=7 minHostVer=0  "
            "[content = ], errorStr=(null)\n\n");
}

TEST_F(SimplePrinterTest, AbsentContentAndErrorTexts) {
  const TarneEntry entry = DiskEntry();
  Simple_PrintEntry(nullptr, 0, &entry, nullptr, 0,
                    "Not found: Error encountered while converting entry");
  Simple_PrintEntry(nullptr, 0, &entry, nullptr, 8, "NoMemory");
  const std::string printed = Printed();
  EXPECT_TRUE(HasSubstr(printed,
                        "  [content = null], errorStr=Not found: Error encountered "
                        "while converting entry\n\nowner="));
  EXPECT_TRUE(HasSubstr(printed, "  [content = null], errorStr=NoMemory\n\n"));
}

TEST_F(SimplePrinterTest, PrefixRevisionAndContentUnchanged) {
  TarneEntry entry = DiskEntry();
  entry.revision = std::numeric_limits<uint64_t>::max();
  entry.flag = 0xFD;
  Simple_PrintEntry("pfx:", 1, &entry, "a\nb], errorStr=\"x\\", 0, nullptr);
  EXPECT_EQ(Printed(),
            "pfx:owner=f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff(Health: Unhealthy) "
            "uuid=00010203-0405-0607-0809-0a0b0c0d0e0f type=DISK rev=18446744073709551615 "
            "minHostVer=0  [content = a\nb], errorStr=\"x\\], errorStr=(null)\n\n");
}

TEST_F(SimplePrinterTest, IgnoresIsFirstAndCompactOutput) {
  const TarneEntry entry = DiskEntry();
  Simple_PrintEntry(nullptr, 1, &entry, "c", 2, nullptr);
  const std::string first = Printed();
  MutableSettings().compactOutput = true;
  Simple_PrintEntry(nullptr, 0, &entry, "c", 2, nullptr);
  EXPECT_EQ(Printed(), first + first);
}

TEST_F(SimplePrinterTest, UnderDumpGoesToErrorBehindTimestamp) {
  MutableSettings().channelOnStderr = true;
  const TarneEntry entry = DiskEntry();
  Simple_PrintEntry(nullptr, 1, &entry, "c", 2, nullptr);
  EXPECT_EQ(Printed(), "");
  const std::string printed = PrintedToChannelError();
  // "YYYY-MM-DDTHH:MM:SS: " in front of the unchanged line.
  const std::string shape = "dddd-dd-ddTdd:dd:dd: ";
  ASSERT_GT(printed.size(), shape.size()) << printed;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 'd') {
      EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(printed[i]))) << printed;
    } else {
      EXPECT_EQ(printed[i], shape[i]) << printed;
    }
  }
  EXPECT_EQ(printed.substr(shape.size()),
            "owner=f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff(Health: Healthy) "
            "uuid=00010203-0405-0607-0809-0a0b0c0d0e0f type=DISK rev=42 minHostVer=0  "
            "[content = c], errorStr=(null)\n\n");
}

// ---------------------------------------------------------------------------------------
// JSON format

using JsonPrinterTest = PrinterTest;

TEST_F(JsonPrinterTest, PrettyFirstAndLaterEntries) {
  const TarneEntry disk = DiskEntry();
  const TarneEntry hux = HuxEntry();
  Json_PrintEntry(nullptr, 1, &disk, "disk text", 10, nullptr);
  Json_PrintEntry(nullptr, 0, &hux, "", 0, nullptr);
  EXPECT_EQ(Printed(),
            " {\n"
            "   \"uuid\": \"00010203-0405-0607-0809-0a0b0c0d0e0f\", \n"
            "   \"owner\": \"f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff\", \n"
            "   \"health\": \"Healthy\", \n"
            "   \"revision\": \"42\",\n"
            "   \"type\": \"DISK\",\n"
            "   \"flag\": \"2\",\n"
            "   \"minHostVersion\": \"0\",\n"
            "   \"md5sum\": \"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\",\n"
            "   \"valueLen\": \"12\",\n"
            "   \"content\": \"disk text\",\n"
            "   \"errorStr\": \"(null)\"\n"
            " }\n"
            ",{\n"
            "   \"uuid\": \"00000000-0000-0000-0000-000000000001\", \n"
            "   \"owner\": \"ab000000-0000-0000-0000-000000000000\", \n"
            "   \"health\": \"Unhealthy\", \n"
            "   \"revision\": \"7\",\n"
            "   \"type\": \"HUX_OBJECT\",\n"
            "   \"flag\": \"0\",\n"
            "   \"minHostVersion\": \"3\",\n"
            "   \"md5sum\": \"00000000000000000000000000000000\",\n"
            "   \"valueLen\": \"0\",\n"
            "   \"content\": \"\",\n"
            "   \"errorStr\": \"(null)\"\n"
            " }\n");
}

TEST_F(JsonPrinterTest, PrettyObjectContentIsEmbedded) {
  const TarneEntry disk = DiskEntry();
  Json_PrintEntry(nullptr, 0, &disk, "{\"used\": 1}", 12, nullptr);
  EXPECT_EQ(Printed(),
            ",{\n"
            "   \"uuid\": \"00010203-0405-0607-0809-0a0b0c0d0e0f\", \n"
            "   \"owner\": \"f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff\", \n"
            "   \"health\": \"Healthy\", \n"
            "   \"revision\": \"42\",\n"
            "   \"type\": \"DISK\",\n"
            "   \"flag\": \"2\",\n"
            "   \"minHostVersion\": \"0\",\n"
            "   \"md5sum\": \"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\",\n"
            "   \"valueLen\": \"12\",\n"
            "   \"content\": {\"used\": 1},\n"
            "   \"errorStr\": \"(null)\"\n"
            " }\n");
}

TEST_F(JsonPrinterTest, CompactFirstAndLaterEntries) {
  MutableSettings().compactOutput = true;
  const TarneEntry disk = DiskEntry();
  const TarneEntry hux = HuxEntry();
  Json_PrintEntry(nullptr, 1, &disk, "{}", 3, nullptr);
  Json_PrintEntry(nullptr, 0, &hux, "say \"hi\"", 9, "NoMemory");
  EXPECT_EQ(Printed(),
            " {\"uuid\":\"00010203-0405-0607-0809-0a0b0c0d0e0f\","
            "\"owner\":\"f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff\",\"health\":\"Healthy\","
            "\"revision\":\"42\",\"type\":\"DISK\",\"flag\":\"2\",\"minHostVersion\":\"0\","
            "\"md5sum\":\"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\",\"valueLen\":\"12\","
            "\"content\":{},\"errorStr\":\"(null)\"}"
            ",{\"uuid\":\"00000000-0000-0000-0000-000000000001\","
            "\"owner\":\"ab000000-0000-0000-0000-000000000000\",\"health\":\"Unhealthy\","
            "\"revision\":\"7\",\"type\":\"HUX_OBJECT\",\"flag\":\"0\",\"minHostVersion\":\"3\","
            "\"md5sum\":\"00000000000000000000000000000000\",\"valueLen\":\"0\","
            "\"content\":\"say \\\"hi\\\"\",\"errorStr\":\"NoMemory\"}");
}

TEST_F(JsonPrinterTest, OnlyTextInBracesIsAnObject) {
  const TarneEntry disk = DiskEntry();
  Json_PrintEntry(nullptr, 0, &disk, "{}", 3, nullptr);
  Json_PrintEntry(nullptr, 0, &disk, "{", 2, nullptr);
  Json_PrintEntry(nullptr, 0, &disk, "x}", 3, nullptr);
  Json_PrintEntry(nullptr, 0, &disk, "{x", 3, nullptr);
  Json_PrintEntry(nullptr, 0, &disk, "{not json}", 11, nullptr);
  const std::string printed = Printed();
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": {},\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": \"{\",\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": \"x}\",\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": \"{x\",\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": {not json},\n"));
}

TEST_F(JsonPrinterTest, EscapesQuotesAndBackslashesOnly) {
  const TarneEntry disk = DiskEntry();
  Json_PrintEntry(nullptr, 1, &disk, "a\"b\\c\nd\te", 10, "raw \"error\"");
  const std::string printed = Printed();
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": \"a\\\"b\\\\c\nd\te\",\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"errorStr\": \"raw \"error\"\"\n }\n"));
}

TEST_F(JsonPrinterTest, AbsentContentIsEmptyString) {
  const TarneEntry disk = DiskEntry();
  Json_PrintEntry(nullptr, 1, &disk, nullptr, 0,
                  "Timeout: Error encountered while converting entry");
  const std::string printed = Printed();
  EXPECT_TRUE(HasSubstr(printed,
                        "   \"content\": \"\",\n"
                        "   \"errorStr\": \"Timeout: Error encountered while "
                        "converting entry\"\n }\n"));
}

TEST_F(JsonPrinterTest, NumericFields) {
  TarneEntry entry = DiskEntry();
  entry.flag = 0x82;
  entry.type = 0x92;
  entry.revision = std::numeric_limits<uint64_t>::max();
  entry.valueLen = 0x80000000u;
  Json_PrintEntry(nullptr, 1, &entry, "", 0, nullptr);
  entry.type = 0x12;
  entry.valueLen = 0xFFFFFFFFu;
  Json_PrintEntry(nullptr, 0, &entry, "", 0, nullptr);
  const std::string printed = Printed();
  EXPECT_TRUE(HasSubstr(printed,
                        "   \"health\": \"Healthy\", \n"
                        "   \"revision\": \"18446744073709551615\",\n"
                        "   \"type\": \"LOCK/SYMBOL\",\n"
                        "   \"flag\": \"130\",\n"
                        "   \"minHostVersion\": \"7\",\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"valueLen\": \"-2147483648\",\n"));
  EXPECT_TRUE(HasSubstr(printed,
                        "   \"type\": \"LOCK/SYMBOL\",\n"
                        "   \"flag\": \"130\",\n"
                        "   \"minHostVersion\": \"0\",\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"valueLen\": \"-1\",\n"));
}

TEST_F(JsonPrinterTest, FailedEscapeSkipsTheEntry) {
  const EscapeAllocator previous = Json_SetEscapeAllocator(FailingAllocator);
  const TarneEntry disk = DiskEntry();
  testing::internal::CaptureStderr();
  Json_PrintEntry(nullptr, 1, &disk, "needs \\ escaping", 17, nullptr);
  const std::string stderrText = testing::internal::GetCapturedStderr();
  // Text without quotes or backslashes needs no copy, so it still prints.
  Json_PrintEntry(nullptr, 0, &disk, "{\"object\": \"form\"}", 19, nullptr);
  Json_PrintEntry(nullptr, 0, &disk, "plain", 6, nullptr);
  Json_SetEscapeAllocator(previous);

  EXPECT_EQ(stderrText, "Failed to escape content string\n\n");
  EXPECT_EQ(PrintedToChannelError(), "");
  const std::string printed = Printed();
  EXPECT_EQ(printed.rfind(",{\n", 0), 0u) << "the entry after a skipped first one starts with ','";
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": {\"object\": \"form\"},\n"));
  EXPECT_TRUE(HasSubstr(printed, "   \"content\": \"plain\",\n"));
  EXPECT_EQ(printed.find("needs"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Python format

using PythonPrinterTest = PrinterTest;

TEST_F(PythonPrinterTest, PrintsDictionaryFollowedByComma) {
  const TarneEntry disk = DiskEntry();
  const TarneEntry hux = HuxEntry();
  Python_PrintEntry(nullptr, 1, &disk, "{\"used\": \"a\\b\"}", 16, nullptr);
  Python_PrintEntry(nullptr, 0, &hux, nullptr, 8, "NoMemory");
  EXPECT_EQ(Printed(),
            "{\n"
            "   \"uuid\": \"00010203-0405-0607-0809-0a0b0c0d0e0f\", \n"
            "   \"owner\": \"f0f1f2f3-f4f5-f6f7-f8f9-fafbfcfdfeff\", \n"
            "   \"health\": \"Healthy\", \n"
            "   \"revision\": \"42\",\n"
            "   \"type\": \"DISK\",\n"
            "   \"flag\": \"2\",\n"
            "   \"minHostVersion\": \"0\",\n"
            "   \"md5sum\": \"a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\",\n"
            "   \"valueLen\": \"12\",\n"
            "   \"content\": \"{\\\"used\\\": \\\"a\\\\b\\\"}\",\n"
            "   \"errorStr\": \"(null)\"\n"
            "},\n"
            "{\n"
            "   \"uuid\": \"00000000-0000-0000-0000-000000000001\", \n"
            "   \"owner\": \"ab000000-0000-0000-0000-000000000000\", \n"
            "   \"health\": \"Unhealthy\", \n"
            "   \"revision\": \"7\",\n"
            "   \"type\": \"HUX_OBJECT\",\n"
            "   \"flag\": \"0\",\n"
            "   \"minHostVersion\": \"3\",\n"
            "   \"md5sum\": \"00000000000000000000000000000000\",\n"
            "   \"valueLen\": \"0\",\n"
            "   \"content\": \"null\",\n"
            "   \"errorStr\": \"NoMemory\"\n"
            "},\n");
}

TEST_F(PythonPrinterTest, IgnoresIsFirstAndCompactOutput) {
  const TarneEntry disk = DiskEntry();
  Python_PrintEntry(nullptr, 1, &disk, "", 0, nullptr);
  const std::string first = Printed();
  MutableSettings().compactOutput = true;
  Python_PrintEntry("pfx", 0, &disk, "", 0, nullptr);
  EXPECT_EQ(Printed(), first + first);
  EXPECT_TRUE(HasSubstr(first, "   \"content\": \"\",\n   \"errorStr\": \"(null)\"\n},\n"));
}

TEST_F(PythonPrinterTest, NumericFieldsAndUnescapedNewline) {
  TarneEntry entry = DiskEntry();
  entry.flag = 0x82;
  entry.type = 0xD3;
  entry.minHostVersion = 255;
  entry.revision = std::numeric_limits<uint64_t>::max();
  entry.valueLen = 0x80000000u;
  Python_PrintEntry(nullptr, 0, &entry, "line1\nline2", 12, nullptr);
  const std::string printed = Printed();
  EXPECT_TRUE(HasSubstr(printed,
                        "   \"revision\": \"18446744073709551615\",\n"
                        "   \"type\": \"WELM_PAUSED\",\n"
                        "   \"flag\": \"130\",\n"
                        "   \"minHostVersion\": \"255\",\n"));
  EXPECT_TRUE(HasSubstr(printed,
                        "   \"valueLen\": \"-2147483648\",\n"
                        "   \"content\": \"line1\nline2\",\n"));
}

TEST_F(PythonPrinterTest, FailedEscapeSkipsTheEntry) {
  const EscapeAllocator previous = Json_SetEscapeAllocator(FailingAllocator);
  const TarneEntry disk = DiskEntry();
  testing::internal::CaptureStderr();
  Python_PrintEntry(nullptr, 1, &disk, "{\"a\"}", 6, nullptr);
  const std::string stderrText = testing::internal::GetCapturedStderr();
  Json_SetEscapeAllocator(previous);
  EXPECT_EQ(stderrText, "Failed to escape content string\n\n");
  EXPECT_EQ(Printed(), "");
}

// ---------------------------------------------------------------------------------------
// Escaping

TEST(JsonEscapeTest, BorrowsTextWithNothingToEscape) {
  const char *plain = "tab\tnewline\n\x7f end";
  EXPECT_EQ(Json_EscapeContent(plain).Text(), plain);
  const char *empty = "";
  EXPECT_EQ(Json_EscapeContent(empty).Text(), empty);
}

TEST(JsonEscapeTest, CopiesWithBackslashBeforeQuotesAndBackslashes) {
  const EscapeAllocator previous = Json_SetEscapeAllocator(RecordingAllocator);
  const char *text = "\"\\x\"\\";
  const EscapedContent escaped = Json_EscapeContent(text);
  Json_SetEscapeAllocator(previous);
  ASSERT_NE(escaped.Text(), nullptr);
  EXPECT_NE(escaped.Text(), text);
  EXPECT_STREQ(escaped.Text(), "\\\"\\\\x\\\"\\\\");
  EXPECT_EQ(lastAllocationSize, std::strlen(text) + 4 + 1);
}

TEST(JsonEscapeTest, ReportsFailedAllocation) {
  const EscapeAllocator previous = Json_SetEscapeAllocator(FailingAllocator);
  const EscapedContent escaped = Json_EscapeContent("\"");
  Json_SetEscapeAllocator(previous);
  EXPECT_EQ(escaped.Text(), nullptr);
}

}  // namespace
