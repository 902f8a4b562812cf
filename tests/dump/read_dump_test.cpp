// readdump as a whole: which listing operations run in which order, which entries reach the
// printer, and the exact messages of every failure. The printers are replaced by recorders;
// their own texts are the printers' tests' concern.
#include "dump/read_dump.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dump_test_support.h"
#include "output/formats.h"
#include "output/output.h"
#include "settings/settings.h"

namespace {

using dump_test::AppendEntry;
using dump_test::Bytes;
using dump_test::CapturedStream;
using dump_test::EntryHeader;
using dump_test::HeaderRecord;
using dump_test::Retries;
using dump_test::TempDir;
using dump_test::WriteFile;

// What the format's operations were called with, in order.
std::vector<std::string> calls;
std::vector<Bytes> printedEntries;
DumpHeader printedHeader;

void RecordHeader(const DumpHeader *header) {
  printedHeader = *header;
  calls.push_back("printHeader");
}
void RecordListBegin() {
  calls.push_back("listBegin");
}
void RecordListEnd() {
  calls.push_back("listEnd");
}
void RecordEntry(const char *prefix, int isFirst, const TarneEntry *entry, const char *content,
                 uint32_t contentLength, const char *errorStr) {
  calls.push_back("entry isFirst=" + std::to_string(isFirst) + (prefix ? " prefix" : "") +
                  (content == nullptr ? " no content" : "") +
                  (contentLength == 0 ? " length 0" : "") + (errorStr ? " error" : ""));
  const auto *bytes = reinterpret_cast<const uint8_t *>(entry);
  printedEntries.emplace_back(bytes, bytes + sizeof(TarneEntry) + entry->valueLen);
}

class ReadDumpTest : public testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    printedEntries.clear();
    OutputFormats_Fill();
    outputFormats[0] = OutputFormat{0, RecordHeader, RecordListBegin, RecordListEnd, RecordEntry};
    Output_SetStreams(out_.File(), err_.File());
    settings_.formatNumber = kFormatSimple;
    headerPath_ = dir_.Path("tarne.dump.hdr");
    dumpPath_ = dir_.Path("dump.gz");
    settings_.dumpFile = dumpPath_.c_str();
  }
  void TearDown() override {
    Output_SetStreams(nullptr, nullptr);
    OutputFormats_Fill();
  }

  int32_t Run() { return ReadDumpWithHeaderFile(headerPath_.c_str(), settings_); }

  TempDir dir_;
  CapturedStream out_;
  CapturedStream err_;
  Settings settings_;
  std::string headerPath_;
  std::string dumpPath_;
};

// Three entries: DISK without payload, then two HEALTH_STATUS entries with 20 bytes each.
Bytes ThreeEntries(std::vector<Bytes> *records = nullptr) {
  Bytes dump;
  const uint32_t lengths[] = {0, 20, 20};
  const uint8_t types[] = {4, 7, 7};
  for (int i = 0; i < 3; ++i) {
    Bytes record;
    AppendEntry(&record, EntryHeader(types[i], lengths[i], 10 + i),
                dump_test::Pattern(lengths[i], i));
    dump.insert(dump.end(), record.begin(), record.end());
    if (records != nullptr) records->push_back(record);
  }
  return dump;
}

TEST_F(ReadDumpTest, ListsEveryEntryBetweenBeginAndEnd) {
  std::vector<Bytes> records;
  WriteFile(headerPath_, HeaderRecord(3), false);
  WriteFile(dumpPath_, ThreeEntries(&records), true);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"listBegin", "entry isFirst=1 length 0",
                                             "entry isFirst=0", "entry isFirst=0", "listEnd"}));
  EXPECT_EQ(printedEntries, records);
  EXPECT_EQ(err_.Text(), "");
}

TEST_F(ReadDumpTest, HeaderPrinterReplacesListBegin) {
  settings_.printDumpHeader = true;
  WriteFile(headerPath_, HeaderRecord(3), true);  // either file may be compressed
  WriteFile(dumpPath_, ThreeEntries(), false);
  EXPECT_EQ(Run(), 0);
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls.front(), "printHeader");
  EXPECT_EQ(calls.back(), "listEnd");
  EXPECT_EQ(printedHeader.numentries, 3);
  EXPECT_EQ(printedHeader.starttime, 1000u);
  EXPECT_EQ(printedHeader.endtime, 2000u);
}

TEST_F(ReadDumpTest, CountMismatchIsReportedAfterTheClosedListing) {
  WriteFile(headerPath_, HeaderRecord(5), false);
  WriteFile(dumpPath_, ThreeEntries(), true);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(calls.back(), "listEnd");
  EXPECT_EQ(err_.Text(),
            "number of entries mismatch! (expected: 5, actual: 3). This dump is not consistent "
            "(possible that entries were added to tarne since the time dump started and by the "
            "time it finished\n");
}

TEST_F(ReadDumpTest, EmptyDumpIsAnEmptyListing) {
  WriteFile(headerPath_, HeaderRecord(0), false);
  WriteFile(dumpPath_, {}, true);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"listBegin", "listEnd"}));
  EXPECT_EQ(err_.Text(), "");
}

TEST_F(ReadDumpTest, MissingHeaderFileOpensNoListing) {
  WriteFile(dumpPath_, ThreeEntries(), true);
  EXPECT_EQ(Run(), -1);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(err_.Text(), "Failed to open " + headerPath_ + " file (No such file or directory)\n\n");
}

TEST_F(ReadDumpTest, ShortOrEmptyHeaderFile) {
  WriteFile(dumpPath_, ThreeEntries(), true);
  for (const size_t size : {size_t{0}, size_t{20}}) {
    Bytes header = HeaderRecord(3);
    header.resize(size);
    WriteFile(headerPath_, header, false);
    CapturedStream err;
    Output_SetStreams(out_.File(), err.File());
    EXPECT_EQ(Run(), -1);
    const std::string text = err.Text();
    const std::string retries = size == 0 ? "" : Retries();
    EXPECT_EQ(text.rfind(retries + "Failed to read the dump header (", 0), 0u) << text;
    EXPECT_EQ(text.back(), '\n');
  }
  EXPECT_TRUE(calls.empty());
}

TEST_F(ReadDumpTest, WrongMagicOrVersionsAreRefused) {
  WriteFile(dumpPath_, ThreeEntries(), true);
  const std::string expected =
      "Invalid header: Expected (magic = 4d5544454e524154. majorVer = 0, "
      "minorVer = 1), Actual (magic = ";
  struct Case {
    Bytes header;
    std::string actual;
  };
  const Case cases[] = {
      {HeaderRecord(3, 0x1122334455667788ULL), "1122334455667788. majorVer = 0, minorVer = 1\n"},
      {HeaderRecord(3, kDumpMagic, 1, 0), "4d5544454e524154. majorVer = 1, minorVer = 0\n"},
      {HeaderRecord(3, 0xabcULL, 0, 1), "00000abc. majorVer = 0, minorVer = 1\n"},
  };
  for (const Case &c : cases) {
    WriteFile(headerPath_, c.header, false);
    CapturedStream err;
    Output_SetStreams(out_.File(), err.File());
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(err.Text(), expected + c.actual);
  }
  EXPECT_TRUE(calls.empty());
}

TEST_F(ReadDumpTest, MissingDumpFileOpensNoListing) {
  WriteFile(headerPath_, HeaderRecord(3), false);
  EXPECT_EQ(Run(), -1);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(err_.Text(), "Failed to open " + dumpPath_ + " file (No such file or directory)\n\n");
}

TEST_F(ReadDumpTest, FailuresLeaveTheListingOpenAfterTheEntriesBefore) {
  WriteFile(headerPath_, HeaderRecord(3), false);
  const Bytes whole = ThreeEntries();
  struct Case {
    size_t cut;
    std::string message;
  };
  const size_t third = 64 + 64 + 20;  // where the third entry begins
  const Case cases[] = {
      {third + 10, Retries() + "Failed to read dumpfile ("},
      {third + 64, "Failed to read the payload for the entry.\n\n"},
      {third + 64 + 5, Retries() + "Failed to read the payload for the entry.\n\n"},
  };
  for (const Case &c : cases) {
    calls.clear();
    WriteFile(dumpPath_, Bytes(whole.begin(), whole.begin() + c.cut), true);
    CapturedStream err;
    Output_SetStreams(out_.File(), err.File());
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(calls, (std::vector<std::string>{"listBegin", "entry isFirst=1 length 0",
                                               "entry isFirst=0"}));
    EXPECT_EQ(err.Text().rfind(c.message, 0), 0u) << err.Text();
  }
}

TEST_F(ReadDumpTest, HugeClaimFailsAsPayloadReadWhenItsBytesAreMissing) {
  WriteFile(headerPath_, HeaderRecord(1), false);
  Bytes dump;
  AppendEntry(&dump, EntryHeader(4, UINT32_MAX, 1), dump_test::Pattern(10));
  WriteFile(dumpPath_, dump, true);
  EXPECT_EQ(Run(), -1);
  EXPECT_EQ(calls, (std::vector<std::string>{"listBegin"}));
  EXPECT_EQ(err_.Text(), Retries() + "Failed to read the payload for the entry.\n\n");
}

}  // namespace
