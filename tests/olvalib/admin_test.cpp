// tarne-admin, run as a program: usage, creation, entries and memberships it writes.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "directory/uuid_util.h"
#include "directory_fixture.h"
#include "test_process.h"

namespace olva::test {
namespace {

class AdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/olvalib-admin-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/sub/directory.db";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ProcessResult Admin(std::vector<std::string> words, const std::string &input = "") {
    words.insert(words.begin(), TARNE_ADMIN_PATH);
    if (words.size() > 1) {
      words.push_back("--directory");
      words.push_back(path_);
    }
    return RunProcess(words, input);
  }

  std::string folder_;
  std::string path_;
};

TEST_F(AdminTest, WithoutArgumentsPrintsUsageAndExitsTwo) {
  const ProcessResult result = Admin({});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_TRUE(result.out.empty());
  EXPECT_NE(result.err.find("usage:"), std::string::npos);
  EXPECT_NE(result.err.find("tarne-admin init"), std::string::npos);
  EXPECT_EQ(Admin({"frobnicate"}).exitStatus, 2);
  EXPECT_EQ(Admin({"init", "--bogus"}).exitStatus, 2);
}

TEST_F(AdminTest, InitCreatesAPrivateDirectoryOnceUnlessForced) {
  const std::string self = "11111111-2222-4333-8444-555555555555";
  const std::string cluster = "aaaaaaaa-0000-4000-8000-000000000001";
  ASSERT_EQ(Admin({"init", "--self", self, "--cluster", cluster}).exitStatus, 0);
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  const ProcessResult again = Admin({"init"});
  EXPECT_EQ(again.exitStatus, 1);
  EXPECT_NE(again.err.find("already exists"), std::string::npos);
  const ProcessResult shown = Admin({"info"});
  ASSERT_EQ(shown.exitStatus, 0);
  EXPECT_NE(shown.out.find("self: " + self), std::string::npos);
  EXPECT_NE(shown.out.find("cluster: " + cluster), std::string::npos);
  EXPECT_NE(shown.out.find("entries: 0"), std::string::npos);

  ASSERT_EQ(Admin({"init", "--force"}).exitStatus, 0);
  EXPECT_EQ(Admin({"info"}).out.find("self: " + self), std::string::npos);  // a new random self
  EXPECT_EQ(Admin({"init", "--force", "--self", "not-a-uuid"}).exitStatus, 2);
}

TEST_F(AdminTest, PutAndMembersAreReadByTheLibrary) {
  const std::string cluster = "aaaaaaaa-0000-4000-8000-000000000001";
  ASSERT_EQ(Admin({"init", "--self", "11111111-2222-4333-8444-555555555555", "--cluster", cluster})
                .exitStatus,
            0);
  const std::string uuid = "00000000-0000-4000-8000-0000000000aa";
  ASSERT_EQ(Admin({"put", "--uuid", uuid, "--type", "NODE"}, "first").exitStatus, 0);
  ASSERT_EQ(Admin({"put", "--uuid", uuid, "--type", "3"}, "second").exitStatus, 0);
  EXPECT_EQ(Admin({"put", "--uuid", uuid, "--type", "3", "--revision", "2"}, "x").exitStatus, 1);
  EXPECT_EQ(Admin({"put", "--uuid", uuid, "--type", "NOPE"}, "x").exitStatus, 2);
  EXPECT_EQ(Admin({"put", "--uuid", uuid}, "x").exitStatus, 2);
  ASSERT_EQ(Admin({"members", "--cluster", cluster, "OLVA_UUID_SELF",
                   "99999999-0000-4000-8000-000000000000"})
                .exitStatus,
            0);

  setenv("TARNE_DIRECTORY", path_.c_str(), 1);
  int32_t handle = -1;
  ASSERT_EQ(TARNE_Initialize(1, 0, &handle), TARNE_STATUS_SUCCESS);
  TarneQuery query{};
  query.uuid = *dir::UuidFromText(uuid);
  query.owner = kSelfMarker;
  query.type = 3;
  query.flags = TARNE_QUERY_LATEST_REVISION;
  std::vector<uint8_t> buffer(1024);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 1024, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(AsEntry(buffer)->revision, 2u);
  EXPECT_EQ(PayloadOf(AsEntry(buffer)), "second");

  // The membership, read the way amimember reads it.
  TarneQuery membership{};
  membership.owner = kSelfMarker;
  membership.type = 14;
  membership.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION;
  ASSERT_EQ(TARNE_FindEntryForCluster(&membership, 0, AsEntry(buffer), 1024, 0),
            TARNE_STATUS_SUCCESS);
  const uint8_t *payload = TarneEntry_Payload(AsEntry(buffer));
  ASSERT_TRUE(OlvaExprScanner_IsValidExpr(payload, AsEntry(buffer)->valueLen));
  uint32_t position = 0, count = 0;
  const void *nested = nullptr;
  ASSERT_EQ(OlvaExprScanner_GetArgs(payload, &position, "%E", &count, &nested), 0u);
  ASSERT_EQ(count, 3u);
  position = 0;
  uint32_t generation = 0, quorum = 0, members = 0;
  const OlvaUUID *uuids = nullptr;
  ASSERT_EQ(
      OlvaExprScanner_GetArgs(nested, &position, "%u%u%U", &generation, &quorum, &members, &uuids),
      0u);
  EXPECT_EQ(generation, 1u);
  EXPECT_EQ(quorum, 2u);
  ASSERT_EQ(members, 2u);
  EXPECT_EQ(dir::UuidToText(uuids[0]), "11111111-2222-4333-8444-555555555555");
  TARNE_Deinitialize(handle);
  unsetenv("TARNE_DIRECTORY");
}

// The files of the folder, by name.
std::vector<std::string> FilesIn(const std::string &folder) {
  std::vector<std::string> names;
  for (const auto &file : std::filesystem::directory_iterator(folder)) {
    names.push_back(file.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(AdminTest, DumpNeverFollowsAPlantedLinkAndIsOwnerOnly) {
  ASSERT_EQ(Admin({"init"}).exitStatus, 0);
  ASSERT_EQ(Admin({"put", "--uuid", "00000000-0000-4000-8000-0000000000aa", "--type", "3"}, "x")
                .exitStatus,
            0);
  const std::string out = folder_ + "/dump.gz", header = folder_ + "/dump.hdr";
  const std::string victim = folder_ + "/victim";
  std::ofstream(victim) << "precious";
  int release = -1;
  const pid_t dump = StartHeldProcess(
      {TARNE_ADMIN_PATH, "dump", "--directory", path_, "--output", out, "--header", header},
      &release);
  ASSERT_GT(dump, 0);
  // Where a writer naming its temporaries after its process id would put them.
  for (const std::string &target : {out, header}) {
    for (const char *middle : {".tmp.", "."}) {
      std::filesystem::create_symlink(victim, target + middle + std::to_string(dump));
    }
  }
  close(release);
  ASSERT_EQ(WaitProcess(dump), 0);
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "precious");
  for (const std::string &file : {out, header}) {
    struct stat info {};
    ASSERT_EQ(lstat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode)) << file;
    EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
  }
}

TEST_F(AdminTest, ADumpEndedBySigtermLeavesNoTemporary) {
  ASSERT_EQ(Admin({"init"}).exitStatus, 0);
  // Random bytes do not compress: the dump takes long enough to be stopped half way.
  std::mt19937_64 random(7);
  std::string payload(64 << 20, '\0');
  for (size_t i = 0; i < payload.size(); i += 8) {
    const uint64_t word = random();
    std::memcpy(payload.data() + i, &word, 8);
  }
  ASSERT_EQ(Admin({"put", "--uuid", "00000000-0000-4000-8000-0000000000bb", "--type", "3"}, payload)
                .exitStatus,
            0);
  const std::vector<std::string> before = FilesIn(folder_ + "/sub");
  int out = -1;
  const pid_t dump = StartProcess({TARNE_ADMIN_PATH, "dump", "--directory", path_, "--output",
                                   folder_ + "/sub/dump.gz", "--header", folder_ + "/sub/dump.hdr"},
                                  &out);
  ASSERT_GT(dump, 0);
  usleep(300000);
  kill(dump, SIGTERM);
  EXPECT_EQ(WaitProcess(dump), -1) << "the dump ended before the signal";
  close(out);
  EXPECT_EQ(FilesIn(folder_ + "/sub"), before);
}

}  // namespace
}  // namespace olva::test
