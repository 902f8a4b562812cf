// Entries read one at a time: whole and in order whatever their sizes, with memory that
// follows the bytes present rather than the lengths claimed.
#include "dump/dump_entry_reader.h"

#include <gtest/gtest.h>

#include "dump_test_support.h"

namespace {

using dump_test::AppendEntry;
using dump_test::Bytes;
using dump_test::CapturedStream;
using dump_test::EntryHeader;
using dump_test::Retries;
using dump_test::TempDir;
using dump_test::WriteFile;

constexpr uint32_t kWindow = DumpStream::kChunkBytes;

class DumpEntryReaderTest : public testing::Test {
 protected:
  void Open(const Bytes &dump, bool gzip = true) {
    const std::string path = dir_.Path("dump");
    WriteFile(path, dump, gzip);
    stream_ = std::make_unique<DumpStream>();
    ASSERT_TRUE(stream_->Open(path.c_str(), true));
    reader_ = std::make_unique<DumpEntryReader>(*stream_, messages_.File());
  }

  TempDir dir_;
  CapturedStream messages_;
  std::unique_ptr<DumpStream> stream_;
  std::unique_ptr<DumpEntryReader> reader_;
};

void ExpectEntry(const DumpEntryReader &reader, const TarneEntry &header, const Bytes &payload) {
  const TarneEntry *entry = reader.Entry();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(std::memcmp(entry, &header, sizeof header), 0);
  if (!payload.empty()) {
    EXPECT_EQ(std::memcmp(TarneEntry_Payload(entry), payload.data(), payload.size()), 0);
  }
}

TEST_F(DumpEntryReaderTest, EntriesOfEverySizeArriveWholeAndInOrder) {
  // Sizes around the window, so that headers and payloads straddle its refills.
  const uint32_t sizes[] = {0, 1, 20, kWindow - 64, kWindow, kWindow + 1, 0, 3 * kWindow + 5, 7};
  std::vector<TarneEntry> headers;
  std::vector<Bytes> payloads;
  Bytes dump;
  for (uint32_t i = 0; i < std::size(sizes); ++i) {
    headers.push_back(EntryHeader(static_cast<uint8_t>(1 + i), sizes[i], i));
    payloads.push_back(dump_test::Pattern(sizes[i], i));
    AppendEntry(&dump, headers.back(), payloads.back());
  }
  for (const bool gzip : {true, false}) {
    Open(dump, gzip);
    for (size_t i = 0; i < headers.size(); ++i) {
      ASSERT_EQ(reader_->Next(), DumpRead::kEntry) << "entry " << i;
      ExpectEntry(*reader_, headers[i], payloads[i]);
    }
    EXPECT_EQ(reader_->Next(), DumpRead::kEnd);
  }
  EXPECT_EQ(messages_.Text(), "");
}

TEST_F(DumpEntryReaderTest, EntryWithoutPayloadIsItsHeader) {
  Bytes dump;
  const TarneEntry header = EntryHeader(4, 0, 9);
  AppendEntry(&dump, header, {});
  Open(dump);
  ASSERT_EQ(reader_->Next(), DumpRead::kEntry);
  ExpectEntry(*reader_, header, {});
  EXPECT_EQ(reader_->BufferCapacity(), 0u) << "no buffer for a header alone";
  EXPECT_EQ(reader_->Next(), DumpRead::kEnd);
}

TEST_F(DumpEntryReaderTest, HugeClaimBackedByTenBytesTakesNoMemoryForIt) {
  Bytes dump;
  AppendEntry(&dump, EntryHeader(4, UINT32_MAX, 1), dump_test::Pattern(10));
  Open(dump);
  EXPECT_EQ(reader_->Next(), DumpRead::kPayloadFailed);
  EXPECT_EQ(reader_->EntrySize(), uint64_t{64} + UINT32_MAX) << "the size is computed in 64 bits";
  EXPECT_LE(reader_->BufferCapacity(), DumpEntryBuffer::kInitialBytes);
  EXPECT_EQ(messages_.Text(), Retries());
}

TEST_F(DumpEntryReaderTest, LargeEntryMemoryFollowsTheBytesThatArrive) {
  constexpr uint32_t kClaim = 64u << 20;
  constexpr uint32_t kPresent = 3u << 20;
  Bytes dump;
  AppendEntry(&dump, EntryHeader(4, kClaim, 1), dump_test::Pattern(kPresent));
  Open(dump);
  EXPECT_EQ(reader_->Next(), DumpRead::kPayloadFailed);
  EXPECT_GE(reader_->BufferCapacity(), uint64_t{kPresent});
  EXPECT_LE(reader_->BufferCapacity(), 2 * (uint64_t{kPresent} + 64));
}

TEST_F(DumpEntryReaderTest, BufferIsReusedAndBoundedByTheLargestEntry) {
  const uint32_t sizes[] = {100, 5u << 20, 100, 2u << 20, 100};
  Bytes dump;
  for (uint32_t size : sizes) AppendEntry(&dump, EntryHeader(4, size, size), Bytes(size, 0x5a));
  Open(dump);
  for (uint32_t size : sizes) {
    ASSERT_EQ(reader_->Next(), DumpRead::kEntry);
    EXPECT_EQ(reader_->Entry()->valueLen, size);
    EXPECT_LE(reader_->BufferCapacity(), uint64_t{64} + (5u << 20));
  }
  EXPECT_EQ(reader_->BufferCapacity(), uint64_t{64} + (5u << 20));
}

TEST_F(DumpEntryReaderTest, EndInsideHeaderFailsAfterRetries) {
  Bytes dump;
  AppendEntry(&dump, EntryHeader(7, 20, 1), Bytes(20, 1));
  dump.resize(dump.size() + 10, 0);
  Open(dump);
  ASSERT_EQ(reader_->Next(), DumpRead::kEntry);
  EXPECT_EQ(reader_->Next(), DumpRead::kHeaderFailed);
  EXPECT_EQ(reader_->Entry(), nullptr);
  EXPECT_EQ(messages_.Text(), Retries());
}

TEST_F(DumpEntryReaderTest, EndRightAfterHeaderFailsWithoutRetries) {
  Bytes dump;
  AppendEntry(&dump, EntryHeader(7, 20, 1), {});
  Open(dump);
  EXPECT_EQ(reader_->Next(), DumpRead::kPayloadFailed);
  EXPECT_EQ(messages_.Text(), "");
}

TEST_F(DumpEntryReaderTest, EndInsidePayloadFailsAfterRetries) {
  Bytes dump;
  AppendEntry(&dump, EntryHeader(7, 20, 1), Bytes(5, 1));
  Open(dump, false);
  EXPECT_EQ(reader_->Next(), DumpRead::kPayloadFailed);
  EXPECT_EQ(messages_.Text(), Retries());
}

TEST(DumpEntryBufferTest, PreparesLargeEntriesWithoutHoldingThem) {
  DumpEntryBuffer buffer;
  ASSERT_TRUE(buffer.Prepare(uint64_t{64} + UINT32_MAX));
  EXPECT_EQ(buffer.Capacity(), DumpEntryBuffer::kInitialBytes);
  ASSERT_TRUE(buffer.Grow(DumpEntryBuffer::kInitialBytes + 1));
  EXPECT_EQ(buffer.Capacity(), 2 * DumpEntryBuffer::kInitialBytes) << "doubles with the data";
  ASSERT_TRUE(buffer.Prepare(300000));
  ASSERT_TRUE(buffer.Grow(300000));
  EXPECT_EQ(buffer.Capacity(), 300000u) << "never beyond the entry being read";
}

}  // namespace
