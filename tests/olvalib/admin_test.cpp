// tarne-admin, run as a program: its commands' round trips through the library, and dumps
// that nobody else can read, redirect or leave behind.
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <random>

#include "directory/membership.h"
#include "directory/uuid_util.h"
#include "directory_fixture.h"

namespace olva::test {
namespace {

class AdminTest : public DirectoryTest {
 protected:
  int Admin(std::vector<std::string> words) {
    words.insert(words.begin(), TARNE_ADMIN_PATH);
    if (words.size() > 1) words.insert(words.end(), {"--directory", path_});
    return RunProcess(words);
  }
  std::string File(const std::string &name, const std::string &content) {
    std::ofstream(folder_ + "/" + name) << content;
    return folder_ + "/" + name;
  }
  size_t Files() { return size_t(std::distance(std::filesystem::directory_iterator(folder_), {})); }
};

TEST_F(AdminTest, UsageInfoPutAndMembersRoundTrip) {
  EXPECT_EQ(Admin({}), 2);
  EXPECT_EQ(Admin({"init"}), 1) << "the directory exists";
  const std::string uuid = dir::UuidToText(Uuid(0xaa));
  ASSERT_EQ(Admin({"put", "--uuid", uuid, "--type", "NODE", "--file", File("a", "first")}), 0);
  ASSERT_EQ(Admin({"put", "--uuid", uuid, "--type", "3", "--file", File("b", "second")}), 0);
  EXPECT_EQ(Admin({"put", "--uuid", uuid, "--type", "3", "--revision", "2", "--file", "/dev/null"}),
            1);
  EXPECT_EQ(Admin({"put", "--uuid", uuid, "--type", "NOPE"}), 2);
  std::vector<uint8_t> key = MakeEntry(Uuid(0xaa), kSelfMarker, 3, 2, "");
  TarneQuery query = Exact(*AsEntry(key));
  std::vector<uint8_t> buffer(1024);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 1024, 0), 0u);
  EXPECT_EQ(PayloadOf(AsEntry(buffer)), "second");

  ASSERT_EQ(Admin({"members", "--cluster", dir::UuidToText(kClusterA), "OLVA_UUID_SELF",
                   dir::UuidToText(Uuid(0x99))}),
            0);
  query = QueryAll();
  query.type = 14;
  query.flags &= uint8_t(~TARNE_QUERY_ANY_TYPE);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 1024, 0), 0u);
  const auto membership =
      dir::DecodeMembership({TarneEntry_Payload(AsEntry(buffer)), AsEntry(buffer)->valueLen});
  ASSERT_TRUE(membership);
  EXPECT_EQ(membership->generation, 1u);
  EXPECT_EQ(membership->quorum, 2u);
  ASSERT_EQ(membership->members.size(), 2u);
  EXPECT_EQ(dir::UuidToText(membership->members[0]), dir::UuidToText(kSelf));
}

TEST_F(AdminTest, DumpNeverFollowsAPlantedLinkAndIsOwnerOnly) {
  Put(Uuid(0xaa), kSelf, 3, 1);
  const std::string out = folder_ + "/dump.gz", header = folder_ + "/dump.hdr";
  const std::string victim = File("victim", "precious");
  int output = -1, release = -1;
  const pid_t dump = StartProcess(
      {TARNE_ADMIN_PATH, "dump", "--directory", path_, "--output", out, "--header", header},
      &output, &release);
  // Where a writer naming its temporaries after its process id would put them.
  for (const std::string &target : {out, header}) {
    for (const char *middle : {".tmp.", "."}) {
      std::filesystem::create_symlink(victim, target + middle + std::to_string(dump));
    }
  }
  close(release);
  ASSERT_EQ(WaitProcess(dump), 0);
  close(output);
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "precious");
  for (const std::string &file : {out, header}) {
    struct stat info {};
    ASSERT_EQ(lstat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & (S_IFMT | 0777), S_IFREG | 0600) << file;
  }
}

TEST_F(AdminTest, ADumpEndedBySigtermLeavesNoTemporary) {
  // Random bytes do not compress: the dump takes long enough to be stopped half way.
  std::independent_bits_engine<std::mt19937, 8, uint8_t> random(7);
  std::string payload(64 << 20, '\0');
  std::generate(payload.begin(), payload.end(), random);
  std::vector<uint8_t> entry = MakeEntry(Uuid(0xbb), kSelf, 3, 1, payload);
  ASSERT_EQ(Apply(TARNE_AddEntryForCluster, entry), TARNE_STATUS_SUCCESS);
  const size_t before = Files();
  int output = -1;
  const pid_t dump = StartProcess({TARNE_ADMIN_PATH, "dump", "--directory", path_, "--output",
                                   folder_ + "/dump.gz", "--header", folder_ + "/dump.hdr"},
                                  &output);
  usleep(300000);
  kill(dump, SIGTERM);
  EXPECT_EQ(WaitProcess(dump), -1) << "the dump ended before the signal";
  close(output);
  EXPECT_EQ(Files(), before);
}

}  // namespace
}  // namespace olva::test
