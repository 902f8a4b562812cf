// tarne-admin's dump writer: a dump whose read of the directory began again (a cluster's
// history compacted under it) holds only what the last read handed it.
#include "dump_writer.h"

#include <zlib.h>

#include <fstream>

#include "directory_fixture.h"

namespace olva::test {
namespace {

using DumpWriterTest = DirectoryTest;

TEST_F(DumpWriterTest, BeginningAgainDropsWhatWasWritten) {
  const std::string dumpPath = folder_ + "/entries.dump";
  const std::string headerPath = folder_ + "/entries.header";
  admin::DumpWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(dumpPath, &error)) << error;
  TarneEntry header{};
  header.valueLen = 3;
  const uint8_t first[] = {1, 2, 3};
  const uint8_t second[] = {7, 8, 9};
  ASSERT_TRUE(writer.Add(header, first, &error)) << error;
  ASSERT_TRUE(writer.Add(header, first, &error)) << error;
  ASSERT_TRUE(writer.BeginAgain(&error)) << error;
  ASSERT_TRUE(writer.Add(header, second, &error)) << error;
  ASSERT_TRUE(writer.Finish(headerPath, false, 1, 2, &error)) << error;

  gzFile in = gzopen(dumpPath.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  uint8_t content[256];
  const int length = gzread(in, content, sizeof content);
  EXPECT_EQ(gzclose(in), Z_OK);  // one whole gzip stream, nothing of the first read after it
  ASSERT_EQ(length, int(sizeof header + sizeof second));
  EXPECT_EQ(std::vector<uint8_t>(content + sizeof header, content + length),
            std::vector<uint8_t>(std::begin(second), std::end(second)));
  DumpHeader written{};
  std::ifstream(headerPath, std::ios::binary)
      .read(reinterpret_cast<char *>(&written), sizeof written);
  EXPECT_EQ(written.numentries, 1);
}

}  // namespace
}  // namespace olva::test
