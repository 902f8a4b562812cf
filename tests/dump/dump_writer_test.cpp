// tarne-admin's dump writer: what it writes is what readdump reads, and no reader ever sees
// a half-written file.
#include "dump_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "dump/dump_entry_reader.h"
#include "dump/dump_stream.h"
#include "dump/read_fully.h"
#include "dump_test_support.h"

namespace {

using dump_test::Bytes;
using dump_test::CapturedStream;
using dump_test::EntryHeader;
using dump_test::TempDir;
using olva::admin::DumpWriter;

size_t FilesIn(const TempDir &dir) {
  size_t count = 0;
  for ([[maybe_unused]] const auto &file :
       std::filesystem::directory_iterator(std::filesystem::path(dir.Path("")).parent_path())) {
    ++count;
  }
  return count;
}

DumpHeader ReadHeaderFile(const std::string &path) {
  DumpHeader header{};
  DumpStream file;
  EXPECT_TRUE(file.Open(path.c_str(), false));
  EXPECT_EQ(ReadFully(file, &header, sizeof header, stderr), int64_t{sizeof header});
  return header;
}

TEST(DumpWriterTest, WritesWhatTheReaderReads) {
  TempDir dir;
  const uint32_t sizes[] = {20, 0, 300000, 1};
  std::vector<TarneEntry> headers;
  std::vector<Bytes> payloads;
  DumpWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.Path("dump.gz"), &error)) << error;
  for (uint32_t i = 0; i < std::size(sizes); ++i) {
    headers.push_back(EntryHeader(static_cast<uint8_t>(3 + i), sizes[i], i));
    payloads.push_back(dump_test::Pattern(sizes[i], i));
    ASSERT_TRUE(writer.Add(headers.back(), payloads.back(), &error)) << error;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path("dump.gz"))) << "only complete files appear";
  ASSERT_TRUE(writer.Finish(dir.Path("header"), false, 100, 200, &error)) << error;
  EXPECT_EQ(writer.Count(), 4u);
  EXPECT_EQ(FilesIn(dir), 2u) << "no temporary file is left";

  EXPECT_EQ(std::filesystem::file_size(dir.Path("header")), sizeof(DumpHeader)) << "plain";
  const DumpHeader header = ReadHeaderFile(dir.Path("header"));
  EXPECT_EQ(header.magic, kDumpMagic);
  EXPECT_EQ(header.minor, 1);
  EXPECT_EQ(header.major, 0);
  EXPECT_EQ(header.numentries, 4);
  EXPECT_EQ(header.starttime, 100u);
  EXPECT_EQ(header.endtime, 200u);

  unsigned char magic[2] = {};
  FILE *raw = std::fopen(dir.Path("dump.gz").c_str(), "rb");
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(std::fread(magic, 1, 2, raw), 2u);
  std::fclose(raw);
  EXPECT_EQ(magic[0] * 256 + magic[1], 0x1f8b) << "the dump file is gzip";
  DumpStream dump;
  ASSERT_TRUE(dump.Open(dir.Path("dump.gz").c_str(), true));
  CapturedStream messages;
  DumpEntryReader reader(dump, messages.File());
  for (size_t i = 0; i < headers.size(); ++i) {
    ASSERT_EQ(reader.Next(), DumpRead::kEntry);
    EXPECT_EQ(std::memcmp(reader.Entry(), &headers[i], sizeof(TarneEntry)), 0);
    EXPECT_EQ(
        Bytes(TarneEntry_Payload(reader.Entry()), TarneEntry_Payload(reader.Entry()) + sizes[i]),
        payloads[i]);
  }
  EXPECT_EQ(reader.Next(), DumpRead::kEnd);
}

TEST(DumpWriterTest, CompressedHeaderAndEmptyDump) {
  TempDir dir;
  DumpWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.Path("dump.gz"), &error));
  ASSERT_TRUE(writer.Finish(dir.Path("header"), true, 1, 2, &error)) << error;
  EXPECT_NE(std::filesystem::file_size(dir.Path("header")), sizeof(DumpHeader));
  EXPECT_EQ(ReadHeaderFile(dir.Path("header")).numentries, 0);
}

TEST(DumpWriterTest, RefusesAPayloadOfAnotherLength) {
  TempDir dir;
  DumpWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.Path("dump.gz"), &error));
  EXPECT_FALSE(writer.Add(EntryHeader(4, 10, 1), Bytes(9), &error));
  EXPECT_NE(error.find("valueLen"), std::string::npos) << error;
}

TEST(DumpWriterTest, AbandonedDumpLeavesNothing) {
  TempDir dir;
  {
    DumpWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(dir.Path("dump.gz"), &error));
    ASSERT_TRUE(writer.Add(EntryHeader(4, 3, 1), Bytes(3), &error));
  }
  EXPECT_EQ(FilesIn(dir), 0u);
}

TEST(DumpWriterTest, UnwritableHeaderIsReported) {
  TempDir dir;
  DumpWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dir.Path("dump.gz"), &error));
  const std::string header = dir.Path("missing/header");
  EXPECT_FALSE(writer.Finish(header, false, 1, 2, &error));
  EXPECT_NE(error.find(header), std::string::npos) << error;
  EXPECT_FALSE(writer.Open(dir.Path("missing/dump.gz"), &error)) << "nor a dump in no folder";
}

TEST(DumpWriterTest, CountBeyondTheRecordKeepsItsLow32Bits) {
  EXPECT_EQ(olva::admin::MakeDumpHeader(uint64_t{1} << 32 | 5, 0, 0).numentries, 5);
  EXPECT_EQ(olva::admin::MakeDumpHeader(0xFFFFFFFFu, 0, 0).numentries, -1);
}

}  // namespace
