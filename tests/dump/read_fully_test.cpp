// The read rule of dump files: exact lengths, a bounded number of reads, and what a failed or
// empty read does to the position.
#include "dump/read_fully.h"

#include <gtest/gtest.h>

#include <vector>

#include "dump_test_support.h"
#include "output/output.h"

namespace {

using dump_test::Bytes;
using dump_test::CapturedStream;
using dump_test::Retries;
using dump_test::TempDir;
using dump_test::WriteFile;

// Plays back scripted read results and records where each read was asked to store.
struct ScriptedReads {
  explicit ScriptedReads(std::vector<int64_t> played) : results(std::move(played)) {}

  std::vector<int64_t> results;  // played in order, the last one repeated
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> missing;

  int64_t operator()(uint32_t offset, uint32_t stillMissing) {
    offsets.push_back(offset);
    missing.push_back(stillMissing);
    const size_t index = std::min(offsets.size(), results.size()) - 1;
    return results[index];
  }
};

int64_t ReadScripted(uint32_t length, ScriptedReads &reads, CapturedStream &messages) {
  return ReadFullyWith(length, messages.File(),
                       [&](uint32_t offset, uint32_t missing) { return reads(offset, missing); });
}

TEST(ReadFullyTest, LengthZeroReadsNothing) {
  ScriptedReads reads(std::vector<int64_t>{5});
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(0, reads, messages), 0);
  EXPECT_TRUE(reads.offsets.empty());
}

TEST(ReadFullyTest, EndBeforeAnyByteGivesZeroAtOnce) {
  ScriptedReads reads(std::vector<int64_t>{0});
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(64, reads, messages), 0);
  EXPECT_EQ(reads.offsets.size(), 1u);
  EXPECT_EQ(messages.Text(), "");
}

TEST(ReadFullyTest, EmptyAndFailedReadsKeepThePosition) {
  ScriptedReads reads(std::vector<int64_t>{3, 0, -1, 2, -1, 59});
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(64, reads, messages), 64);
  EXPECT_EQ(reads.offsets, (std::vector<uint32_t>{0, 3, 3, 3, 5, 5}));
  EXPECT_EQ(reads.missing, (std::vector<uint32_t>{64, 61, 61, 61, 59, 59}));
  EXPECT_EQ(messages.Text(), "");
}

TEST(ReadFullyTest, FailuresAloneGiveUpAfterOneHundredReads) {
  ScriptedReads reads(std::vector<int64_t>{-1});
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(8, reads, messages), -1);
  EXPECT_EQ(reads.offsets.size(), 100u);
  EXPECT_EQ(messages.Text(), Retries());
}

TEST(ReadFullyTest, EndAfterFailuresBeforeAnyByteGivesZero) {
  ScriptedReads reads(std::vector<int64_t>{-1, -1, 0});
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(8, reads, messages), 0);
  EXPECT_EQ(reads.offsets.size(), 3u);
  EXPECT_EQ(messages.Text(), "");
}

TEST(ReadFullyTest, GivesUpAfterOneHundredReads) {
  ScriptedReads reads(std::vector<int64_t>{10, 0});
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(32, reads, messages), -1);
  EXPECT_EQ(reads.offsets.size(), 100u);
  EXPECT_EQ(messages.Text(), Retries());
}

TEST(ReadFullyTest, TheHundredthReadMayStillComplete) {
  std::vector<int64_t> results(99, 0);
  results[0] = 1;
  results.push_back(31);
  ScriptedReads reads(results);
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(32, reads, messages), 32);
  EXPECT_EQ(reads.offsets.size(), 100u);
  EXPECT_EQ(messages.Text(), "");
}

TEST(ReadFullyTest, StoppedReadEndsAtOnceWithoutMessage) {
  ScriptedReads reads(std::vector<int64_t>{4, kReadStopped});
  CapturedStream messages;
  EXPECT_EQ(ReadScripted(32, reads, messages), kReadStopped);
  EXPECT_EQ(reads.offsets.size(), 2u);
  EXPECT_EQ(messages.Text(), "");
}

TEST(ReadFullyTest, ReadsGzipAndPlainFilesAlike) {
  TempDir dir;
  const Bytes bytes = dump_test::Pattern(32);
  for (const bool gzip : {false, true}) {
    const std::string path = dir.Path(gzip ? "gz" : "plain");
    WriteFile(path, bytes, gzip);
    gzFile file = gzopen64(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    Bytes read(32);
    EXPECT_EQ(ReadFully(file, read.data(), 32), 32);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(ReadFully(file, read.data(), 32), 0) << "at the end";
    gzclose(file);
  }
}

TEST(ReadFullyTest, ShortFileGivesUpWithMessageOnErrorStream) {
  TempDir dir;
  const std::string path = dir.Path("short");
  WriteFile(path, dump_test::Pattern(20), false);
  gzFile file = gzopen64(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  CapturedStream err;
  Output_SetStreams(nullptr, err.File());
  Bytes read(32);
  EXPECT_EQ(ReadFully(file, read.data(), 32), -1);
  Output_SetStreams(nullptr, nullptr);
  gzclose(file);
  EXPECT_EQ(err.Text(), Retries());
}

}  // namespace
