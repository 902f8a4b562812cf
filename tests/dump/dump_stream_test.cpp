// The dump stream reads every file as zlib's gz reader does, in pieces of every size, with a
// thread reading ahead or without: plain files, gzip members back to back, the bytes after a
// member, members cut short and damaged ones. Only on damage does it deliver more: every byte
// inflated before the damage.
#include "dump/dump_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "dump_test_support.h"

namespace {

using dump_test::Bytes;

Bytes Gzip(const Bytes &bytes) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, bytes.size()));
  z.next_in = const_cast<uint8_t *>(bytes.data());
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// All content up to the end or the failure, and how it ended: 0 or -1.
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

TEST(DumpStreamTest, ReadsEveryFileAsZlibDoes) {
  const Bytes text = dump_test::Pattern(40000, 3) + Bytes(900000, 'a') + dump_test::Pattern(5);
  const Bytes member = Gzip(text);
  const Bytes shapes[] = {
      {},
      {0x1f},
      text,
      member,
      member + Gzip({}) + Gzip(Bytes(70000, 'b')),
      member + Bytes{'t', 'r', 'a', 'i', 'l'},
      member + Bytes{0x1f},
      member + Bytes{0x1f, 0x8b},
      Bytes(member.begin(), member.end() - 5),      // cut inside the trailer
      Bytes(member.begin(), member.begin() + 3000)  // cut inside the data
  };
  dump_test::TempDir dir;
  const std::string path = dir.Path("file");
  for (size_t i = 0; i < std::size(shapes); ++i) {
    dump_test::WriteFile(path, shapes[i], false);
    gzFile zlib = gzopen(path.c_str(), "rb");
    ASSERT_NE(zlib, nullptr);
    const auto expected = Drain([&](void *to, uint32_t n) { return gzread(zlib, to, n); });
    gzclose(zlib);
    for (const bool background : {false, true}) {
      DumpStream stream;
      ASSERT_TRUE(stream.Open(path.c_str(), background));
      const auto got = Drain([&](void *to, uint32_t n) { return stream.Read(to, n); });
      EXPECT_EQ(got.first, expected.first) << "shape " << i;
      EXPECT_EQ(got.second, expected.second) << "shape " << i;
      uint8_t byte = 0;
      EXPECT_EQ(stream.Read(&byte, 1), got.second) << "the end or failure stays";
    }
  }
}

TEST(DumpStreamTest, DamageFailsAfterEveryByteInflatedBeforeIt) {
  const Bytes text = dump_test::Pattern(3000) + Bytes(2000000, 'c');
  Bytes damaged = Gzip(text) + Gzip(text);
  damaged[damaged.size() / 2 + 2] = 7;  // the second member names an unknown method
  dump_test::TempDir dir;
  dump_test::WriteFile(dir.Path("file"), damaged, false);
  DumpStream stream;
  ASSERT_TRUE(stream.Open(dir.Path("file").c_str(), true));
  const auto got = Drain([&](void *to, uint32_t n) { return stream.Read(to, n); });
  EXPECT_EQ(got.first, text);
  EXPECT_EQ(got.second, -1);
}

TEST(DumpStreamTest, UnreadableFileFailsWithItsErrno) {
  dump_test::TempDir dir;
  DumpStream stream;
  ASSERT_TRUE(stream.Open(dir.Path("").c_str(), true));  // a directory opens but cannot be read
  uint8_t byte = 0;
  errno = 0;
  EXPECT_EQ(stream.Read(&byte, 1), -1);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_FALSE(stream.Open(dir.Path("missing").c_str(), true));
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
