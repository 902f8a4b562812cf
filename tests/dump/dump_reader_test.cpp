// The dump reader on the files it meets: every shape of file read as zlib's gz reader reads it,
// but every byte inflated before damage kept; hostile entries end cleanly, with memory that
// follows the bytes present rather than the lengths claimed. readdump's messages, damage in a
// real dump and entries across chunks are the end-to-end cases' concern.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dump/dump_entry_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Pattern(size_t size, uint32_t state = 1) {
  Bytes bytes(size);
  for (uint8_t &byte : bytes) byte = static_cast<uint8_t>((state = state * 69069u + 1u) >> 24);
  return bytes;
}

Bytes Gzip(Bytes bytes) {
  uLongf size = compressBound(bytes.size()) + 32;
  Bytes out(size);
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  z.next_in = bytes.data();
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(size);
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// An entry header claiming `valueLen` payload bytes, followed by `present` of them.
Bytes Entry(uint32_t valueLen, size_t present) {
  TarneEntry header{};
  header.type = 7;
  header.valueLen = valueLen;
  const auto *at = reinterpret_cast<const uint8_t *>(&header);
  return Bytes(at, at + sizeof header) + Pattern(present);
}

const char *File(const Bytes &bytes) {
  // One file per process, since ctest runs this binary's tests side by side; removed at exit.
  static const struct ScratchFile {
    std::string path = testing::TempDir() + "dump_reader_test." + std::to_string(getpid());
    ~ScratchFile() { (void)std::remove(path.c_str()); }
  } scratch;
  const std::string &path = scratch.path;
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!bytes.empty()) {
    EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  }
  (void)std::fclose(file);
  return path.c_str();
}

// All content up to the end or the failure, read in pieces of every size, and how it ended.
template <typename Read>
std::pair<Bytes, int64_t> Drain(Read &&read) {
  static constexpr uint32_t kSizes[] = {1, 64, 20, 70000, 3 * DumpStream::kChunkBytes + 5};
  Bytes content;
  for (size_t i = 0;; ++i) {
    Bytes piece(kSizes[i % std::size(kSizes)]);
    const int64_t got = read(piece.data(), static_cast<uint32_t>(piece.size()));
    if (got <= 0) return {content, got};
    content.insert(content.end(), piece.begin(), piece.begin() + got);
  }
}

TEST(DumpStreamTest, ReadsAsZlibDoesButKeepsWhatInflatedBeforeDamage) {
  const Bytes text = Pattern(40000, 3) + Bytes(900000, 'a') + Pattern(5);
  const Bytes member = Gzip(text);
  Bytes badMethod = member + member, badTrailer = member;
  badMethod[member.size() + 2] = 7;  // the second member names an unknown method
  badTrailer[member.size() - 8] ^= 1;
  const std::pair<Bytes, Bytes> shapes[] = {// the file, and what zlib cannot read when damaged
                                            {{}, {}},
                                            {{0x1f}, {}},
                                            {text, {}},
                                            {member + Gzip({}) + Gzip(Bytes(70000, 'b')), {}},
                                            {member + Bytes{'m', 'o', 'r', 'e'}, {}},
                                            {member + Bytes{0x1f}, {}},
                                            {member + Bytes{0x1f, 0x8b}, {}},
                                            {Bytes(member.begin(), member.end() - 5), {}},
                                            {Bytes(member.begin(), member.begin() + 3000), {}},
                                            {badMethod, text},
                                            {badTrailer, text}};
  for (size_t i = 0; i < std::size(shapes); ++i) {
    gzFile zlib = gzopen(File(shapes[i].first), "rb");
    auto expected = Drain([&](void *to, uint32_t n) { return gzread(zlib, to, n); });
    gzclose(zlib);
    if (!shapes[i].second.empty()) expected.first = shapes[i].second;
    for (const bool background : {false, true}) {
      DumpStream stream;
      ASSERT_TRUE(stream.Open(File(shapes[i].first), background));
      const auto got = Drain([&](void *to, uint32_t n) { return stream.Read(to, n); });
      EXPECT_EQ(got, expected) << "shape " << i << (background ? " read ahead" : "");
      uint8_t byte = 0;
      EXPECT_EQ(stream.Read(&byte, 1), got.second) << "the end or the failure stays";
    }
  }
}

TEST(DumpEntryReaderTest, HostileEntriesEndCleanlyWithoutMemoryForTheirClaims) {
  constexpr uint64_t kSmall = DumpEntryBuffer::kInitialBytes;
  const struct {
    Bytes dump;
    DumpRead outcome;
    bool retried;
    uint64_t maxCapacity;
  } cases[] = {
      {Entry(UINT32_MAX, 10), DumpRead::kPayloadFailed, true, kSmall},
      {Entry(64u << 20, 3u << 20), DumpRead::kPayloadFailed, true, 2 * ((uint64_t{3} << 20) + 64)},
      {Entry(5u << 20, 5u << 20) + Entry(100, 100), DumpRead::kEnd, false, (5u << 20) + 64},
      {Entry(20, 20) + Bytes(10, 0), DumpRead::kHeaderFailed, true, kSmall},
      {Entry(20, 0), DumpRead::kPayloadFailed, false, kSmall},
      {Entry(0, 0) + Entry(20, 5), DumpRead::kPayloadFailed, true, kSmall},
  };
  for (const auto &hostile : cases) {
    char *text = nullptr;
    size_t size = 0;
    FILE *messages = open_memstream(&text, &size);
    DumpStream stream;
    ASSERT_TRUE(stream.Open(File(Gzip(hostile.dump)), true));
    DumpEntryReader reader(stream, messages);
    DumpRead outcome = DumpRead::kEntry;
    while ((outcome = reader.Next()) == DumpRead::kEntry) {
    }
    (void)std::fclose(messages);
    EXPECT_EQ(outcome, hostile.outcome);
    EXPECT_EQ(std::string(text, size),
              hostile.retried ? "Failed to read after 100 retries, bailing.\n" : "");
    EXPECT_LE(reader.BufferCapacity(), hostile.maxCapacity);
    free(text);
  }
}

}  // namespace
