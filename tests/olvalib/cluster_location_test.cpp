// What names a directory on a cluster: the location (endpoints and key prefix) and the host's
// node file (its identity and TLS files).
#include <sys/stat.h>

#include "directory/uuid_util.h"
#include "directory_fixture.h"

namespace olva::test {
namespace {

TEST(ClusterLocationTest, EndpointsTlsAndPrefixAreRead) {
  const auto one = dir::ParseClusterLocation("etcd://127.0.0.1:2379");
  ASSERT_TRUE(one.has_value());
  EXPECT_FALSE(one->tls);
  EXPECT_EQ(one->endpoints, std::vector<std::string>{"127.0.0.1:2379"});
  EXPECT_EQ(one->prefix, dir::kDefaultClusterPrefix);

  const auto several = dir::ParseClusterLocation("etcds://a.example:1,[::1]:65535,b:2379/x/y//");
  ASSERT_TRUE(several.has_value());
  EXPECT_TRUE(several->tls);
  EXPECT_EQ(several->endpoints, (std::vector<std::string>{"a.example:1", "[::1]:65535", "b:2379"}));
  EXPECT_EQ(several->prefix, "x/y") << "slashes at the end are dropped, inner ones kept";

  const auto slashOnly = dir::ParseClusterLocation("etcd://h:1/");
  ASSERT_TRUE(slashOnly.has_value());
  EXPECT_EQ(slashOnly->prefix, dir::kDefaultClusterPrefix);
}

TEST(ClusterLocationTest, MalformedLocationsAreRefused) {
  for (const char *location : {
           "/var/lib/tarne/directory.db", "etcd:/h:1", "etcds://", "etcd://h", "etcd://:2379",
           "etcd://h:0", "etcd://h:65536",  // no port, no host, range
           "etcd://h:99999999999999999999", "etcd://h:+80", "etcd://h:80x", "etcd://h:1,,h:2",
           "etcd://,h:1",                                    // an empty endpoint
           "etcd://h:1//p", "etcd://h:1/a//b", "etcd:///p",  // empty parts
       }) {
    EXPECT_FALSE(dir::ParseClusterLocation(location).has_value()) << location;
  }
  // The longest prefix, 1 KiB, then one byte more.
  const std::string longest = "etcd://h:1/" + std::string(1024, 'p');
  EXPECT_TRUE(dir::ParseClusterLocation(longest + "/").has_value());
  EXPECT_FALSE(dir::ParseClusterLocation(longest + "p").has_value());
}

class NodeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/olvalib-node-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/node";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  void WriteText(const std::string &text) { std::ofstream(path_, std::ios::trunc) << text; }
  std::vector<std::string> FolderContents() const {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder_)) {
      names.push_back(entry.path().filename());
    }
    return names;
  }
  std::string folder_, path_;
};

TEST_F(NodeFileTest, WrittenOwnerOnlyInPlaceAndReadBack) {
  const dir::NodeFile node{{kSelf, {kClusterB, kClusterA}}, {"/c/ca.crt", "/c/h.crt", "/c/h.key"}};
  const mode_t previous = umask(0);  // the mode must not come from the umask
  std::string error;
  const PEK_ReturnStatus written = dir::WriteNodeFile(path_, node, false, &error);
  umask(previous);
  ASSERT_EQ(written, TARNE_STATUS_SUCCESS) << error;
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"node"}) << "no temporary left";

  dir::NodeFile read;
  ASSERT_TRUE(dir::ReadNodeFile(path_, &read, &error)) << error;
  EXPECT_EQ(dir::UuidToText(read.identity.self), dir::UuidToText(kSelf));
  ASSERT_EQ(read.identity.clusters.size(), 2u);
  EXPECT_EQ(dir::UuidToText(read.identity.clusters[0]), dir::UuidToText(kClusterB)) << "in order";
  EXPECT_EQ(dir::UuidToText(read.identity.clusters[1]), dir::UuidToText(kClusterA));
  EXPECT_EQ(read.tls.ca, "/c/ca.crt");
  EXPECT_EQ(read.tls.cert, "/c/h.crt");
  EXPECT_EQ(read.tls.key, "/c/h.key");

  // Without TLS files none are read back.
  ASSERT_EQ(dir::WriteNodeFile(path_, {{kSelf, {kClusterA}}, {}}, true, &error), 0u) << error;
  ASSERT_TRUE(dir::ReadNodeFile(path_, &read, &error)) << error;
  EXPECT_FALSE(read.tls.Given());
}

TEST_F(NodeFileTest, AnExistingFileIsReplacedOnlyWithForce) {
  WriteText("something of the operator's\n");
  std::string error;
  EXPECT_EQ(dir::WriteNodeFile(path_, {{kSelf, {kClusterA}}, {}}, false, &error),
            TARNE_STATUS_ALREADY_EXISTS);
  EXPECT_NE(error.find(path_), std::string::npos) << error;
  std::ifstream in(path_);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "something of the operator's\n");
  EXPECT_EQ(FolderContents(), std::vector<std::string>{"node"});
  ASSERT_EQ(dir::WriteNodeFile(path_, {{kSelf, {kClusterA}}, {}}, true, &error), 0u) << error;
  dir::NodeFile read;
  EXPECT_TRUE(dir::ReadNodeFile(path_, &read, &error)) << error;
}

TEST_F(NodeFileTest, AnIdentityNoDirectoryCouldRecordIsNotWritten) {
  const OlvaUUID null{};
  for (const dir::DirectoryInfo &identity :
       std::vector<dir::DirectoryInfo>{{kSelf, {}},
                                       {kSelf, {kClusterA, kClusterA}},
                                       {kSelfMarker, {kClusterA}},
                                       {null, {kClusterA}},
                                       {kSelf, {null}},
                                       {kClusterA, {kClusterB, kClusterA}}}) {  // self a cluster
    std::string error;
    EXPECT_EQ(dir::WriteNodeFile(path_, {identity, {}}, false, &error), TARNE_STATUS_BAD_PARAMETER);
    EXPECT_TRUE(FolderContents().empty());
  }
}

TEST_F(NodeFileTest, MalformedFilesAreRefused) {
  const std::string self = "self " + dir::UuidToText(kSelf) + "\n";
  const std::string cluster = "cluster " + dir::UuidToText(kClusterA) + "\n";
  const std::string other = "cluster " + dir::UuidToText(kClusterB) + "\n";
  // A sound file first, with the comments and blank lines a file may hold.
  WriteText("# a host\n\n" + self + cluster + other + "ca /a\ncert /b\nkey /c\n");
  dir::NodeFile read;
  std::string error;
  ASSERT_TRUE(dir::ReadNodeFile(path_, &read, &error)) << error;
  for (const std::string &text : {
           std::string(), cluster, self,                             // no self, no cluster
           self + self + cluster,                                    // two selves
           self + cluster + cluster,                                 // a cluster twice
           "self " + dir::UuidToText(kClusterA) + "\n" + cluster,    // self one of its clusters
           "self 00000002-0000-0000-0000-000000000000\n" + cluster,  // the self marker
           "self 00000000-0000-0000-0000-000000000000\n" + cluster,  // null
           "self not-a-uuid\n" + cluster, self + "cluster\n",        // bad UUIDs
           self + cluster + "owner " + dir::UuidToText(kClusterB) + "\n",  // unknown line
           " " + self + cluster,                                           // indented
           self + cluster + "ca /a\nca /b\n",                              // a TLS file twice
           self + cluster + "cert\n", self + cluster + "key \n",           // empty paths
       }) {
    WriteText(text);
    error.clear();
    EXPECT_FALSE(dir::ReadNodeFile(path_, &read, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::filesystem::remove(path_);
  EXPECT_FALSE(dir::ReadNodeFile(path_, &read, &error));
  EXPECT_NE(error.find(path_), std::string::npos) << error;
}

}  // namespace
}  // namespace olva::test
