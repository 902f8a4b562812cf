// The buffered dump stream: the same bytes as one gzread per request, whatever the request
// sizes and the window refills in between.
#include "dump/dump_stream.h"

#include <gtest/gtest.h>

#include "dump/gz_file.h"
#include "dump_test_support.h"

namespace {

using dump_test::Bytes;
using dump_test::TempDir;
using dump_test::WriteFile;

constexpr uint32_t kWindow = DumpStream::kWindowBytes;

class DumpStreamTest : public testing::TestWithParam<bool> {
 protected:
  GzFile Open(const Bytes &bytes) {
    const std::string path = dir_.Path("stream");
    WriteFile(path, bytes, GetParam());
    return GzFile(gzopen64(path.c_str(), "rb"));
  }

  TempDir dir_;
};

TEST_P(DumpStreamTest, PiecesOfEverySizeAddUpToTheFile) {
  const Bytes bytes = dump_test::Pattern(3 * kWindow + 12345);
  GzFile file = Open(bytes);
  ASSERT_TRUE(file);
  DumpStream stream(file.get());
  // Small pieces inside the window, pieces across a refill, and pieces larger than the window.
  const uint32_t sizes[] = {1, 63, 64, kWindow - 128, 300, kWindow, 7, kWindow + 1, 64};
  Bytes read;
  size_t next = 0;
  while (read.size() < bytes.size()) {
    const uint32_t size = sizes[next++ % std::size(sizes)];
    Bytes piece(size);
    const int64_t got = stream.Read(piece.data(), size);
    ASSERT_GT(got, 0);
    const size_t expected = std::min<size_t>(size, bytes.size() - read.size());
    ASSERT_EQ(static_cast<size_t>(got), expected) << "short only at the end";
    read.insert(read.end(), piece.begin(), piece.begin() + got);
  }
  EXPECT_EQ(read, bytes);
  uint8_t byte = 0;
  EXPECT_EQ(stream.Read(&byte, 1), 0);
  EXPECT_EQ(stream.Read(&byte, 1), 0) << "stays at the end";
}

TEST_P(DumpStreamTest, ShortAtTheEndThenEmpty) {
  const Bytes bytes = dump_test::Pattern(100);
  GzFile file = Open(bytes);
  ASSERT_TRUE(file);
  DumpStream stream(file.get());
  Bytes read(150);
  EXPECT_EQ(stream.Read(read.data(), 150), 100);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), read.begin()));
  EXPECT_EQ(stream.Read(read.data(), 150), 0);
}

TEST_P(DumpStreamTest, EmptyFileIsAtItsEnd) {
  GzFile file = Open({});
  ASSERT_TRUE(file);
  DumpStream stream(file.get());
  uint8_t byte = 0;
  EXPECT_EQ(stream.Read(&byte, 1), 0);
}

INSTANTIATE_TEST_SUITE_P(PlainAndGzip, DumpStreamTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &info) {
                           return info.param ? "Gzip" : "Plain";
                         });

TEST(DumpStreamFailureTest, UnreadableFileFailsEveryRead) {
  TempDir dir;
  GzFile file(gzopen64(dir.Path("").c_str(), "rb"));  // a directory opens but cannot be read
  ASSERT_TRUE(file);
  DumpStream stream(file.get());
  uint8_t bytes[64];
  EXPECT_LT(stream.Read(bytes, sizeof bytes), 0);
  EXPECT_LT(stream.Read(bytes, sizeof bytes), 0);
}

TEST(DumpStreamFailureTest, DamagedGzipEndsInFailureNotAtAnEnd) {
  TempDir dir;
  const Bytes bytes = dump_test::Pattern(8 * kWindow);
  const std::string path = dir.Path("damaged");
  WriteFile(path, bytes, true);
  FILE *raw = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(raw, nullptr);
  std::fseek(raw, 0, SEEK_END);
  std::fseek(raw, std::ftell(raw) / 2, SEEK_SET);
  const char damage[] = "DAMAGEDAMAGEDAMAGE";
  std::fwrite(damage, 1, sizeof damage, raw);
  std::fclose(raw);

  GzFile file(gzopen64(path.c_str(), "rb"));
  ASSERT_TRUE(file);
  DumpStream stream(file.get());
  // Bytes well before the damage come through unchanged; the damage itself may decode to
  // other bytes before zlib notices (at the latest at the trailer's check), but the stream
  // never ends as if it were whole.
  Bytes read(kWindow);
  ASSERT_EQ(stream.Read(read.data(), kWindow), kWindow);
  EXPECT_TRUE(std::equal(read.begin(), read.end(), bytes.begin()));
  int64_t got = 0;
  while ((got = stream.Read(read.data(), kWindow)) == kWindow) {
  }
  if (got > 0) got = stream.Read(read.data(), kWindow);
  EXPECT_LT(got, 0);
}

}  // namespace
