// Where the programs look for the directory when TARNE_DIRECTORY does not say: the cases the
// end-to-end ones cannot show without a directory at the default path.
#include "directory/host_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "directory/directory_location.h"

namespace olva::test {
namespace {

class HostLocationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/host-location-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    node_ = folder_ + "/node";
    unsetenv(dir::kDirectoryVariable);
    setenv(dir::kNodeVariable, node_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv(dir::kNodeVariable);
    std::filesystem::remove_all(folder_);
  }
  void WriteNode(const std::string &text) {
    std::ofstream(node_) << text;
    chmod(node_.c_str(), 0600);
  }
  std::string Location() {
    std::string location;
    std::string error;
    EXPECT_TRUE(dir::HostDirectoryLocation(&location, &error)) << error;
    return location;
  }

  std::string folder_;
  std::string node_;
};

TEST_F(HostLocationTest, WithoutARecordTheDefaultPath) {
  EXPECT_EQ(Location(), dir::kDefaultDirectoryPath) << "no node file";
  // A node file written before hosts recorded their location.
  WriteNode(
      "self 5e000000-0000-4000-8000-0000000000c3\ncluster ca000000-0000-4000-8000-0000000000c3\n");
  EXPECT_EQ(Location(), dir::kDefaultDirectoryPath);
  WriteNode("directory etcds://192.0.2.31:2379/lab\n");
  EXPECT_EQ(Location(), "etcds://192.0.2.31:2379/lab");
  setenv(dir::kDirectoryVariable, "/srv/lab/directory.db", 1);
  EXPECT_EQ(Location(), "/srv/lab/directory.db");
  unsetenv(dir::kDirectoryVariable);
}

}  // namespace
}  // namespace olva::test
