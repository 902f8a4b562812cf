// tarne-admin, run as a program: its commands' round trips through the library, and dumps
// that nobody else can read, redirect or leave behind.
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <random>

#include "cluster_tool.h"
#include "directory/uuid_util.h"

namespace olva::test {
namespace {

class AdminTest : public DirectoryTest {
 protected:
  void SetUp() override {
    DirectoryTest::SetUp();
    node_ = folder_ + "/node";
    setenv(dir::kNodeVariable, node_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv(dir::kNodeVariable);
    DirectoryTest::TearDown();
  }
  int Admin(std::vector<std::string> words) {
    if (!words.empty()) words.insert(words.end(), {"--directory", path_});
    return AdminAnywhere(words);
  }
  // The words as they are: a --directory of their own, or TARNE_DIRECTORY; its standard
  // output and error, one after the other, to output.
  static int AdminAnywhere(const std::vector<std::string> &words, std::string *output = nullptr) {
    const ToolRun run = RunProgram(TARNE_ADMIN_PATH, words);
    if (output != nullptr) *output = run.out + run.err;
    return run.status;
  }
  std::string File(const std::string &name, const std::string &content) {
    std::ofstream(folder_ + "/" + name) << content;
    return folder_ + "/" + name;
  }
  size_t Files() { return size_t(std::distance(std::filesystem::directory_iterator(folder_), {})); }

  std::string node_;
};

TEST_F(AdminTest, UsageInitAndPutRoundTrip) {
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

TEST_F(AdminTest, InitOnAClusterRefusesBadArgumentsBeforeAnyConnection) {
  const std::string tls[] = {"--ca", "a", "--cert", "b", "--key", "c"};
  const std::vector<std::vector<std::string>> refused = {
      {"--directory", "etcd://localhost"},
      {"--directory", "etcd://127.0.0.1:1", "--cluster", "0a0b0c0d-0000-4000-8000-000000000001",
       "--cluster", "0a0b0c0d-0000-4000-8000-000000000001"},
      {"--directory", "etcd://127.0.0.1:1", tls[0], tls[1], tls[2], tls[3], tls[4], tls[5]},
      {"--directory", "etcds://127.0.0.1:1", tls[0], tls[1], tls[2], tls[3]},
      {"--directory", path_ + ".new", tls[0], tls[1], tls[2], tls[3], tls[4], tls[5]},
  };
  for (std::vector<std::string> words : refused) {
    words.insert(words.begin(), "init");
    EXPECT_EQ(AdminAnywhere(words), 2) << words[2];
  }
  EXPECT_FALSE(std::filesystem::exists(node_));
  EXPECT_FALSE(std::filesystem::exists(path_ + ".new"));
  File("node", "self x\n");
  EXPECT_EQ(AdminAnywhere({"init", "--directory", "etcd://127.0.0.1:1"}), 1) << "node file there";
}

// One directory on the test run's cluster, in the order a host meets it. All or nothing: an
// init whose node file cannot be written takes back the directory it created, so that the
// host's next init creates it rather than joining an empty one; a restore that fails takes
// back what it loaded. Then status shows every member, and names why it cannot open.
TEST_F(AdminTest, InitRestoreAndStatusOnAClusterAnswerForThemselves) {
  // A fresh prefix on the test run's cluster; skipped when the run has none.
  const std::string location = "etcd://" + SharedClusterEndpoints() + "/" + FreshPrefix();
  if (HasFatalFailure() || IsSkipped()) return;
  const std::string cluster = dir::UuidToText(kClusterA);
  setenv(dir::kNodeVariable, (File("blocker", "") + "/node").c_str(), 1);
  EXPECT_EQ(AdminAnywhere({"init", "--directory", location, "--cluster", cluster}), 1);
  EXPECT_EQ(AdminAnywhere({"info", "--directory", location}), 1) << "no directory there";
  // The node file's missing folders are made, as the package's /etc/tarne would be.
  const mode_t umaskBefore = umask(022);
  const std::string node = folder_ + "/etc/tarne/node";
  setenv(dir::kNodeVariable, node.c_str(), 1);
  std::string output;
  EXPECT_EQ(AdminAnywhere({"init", "--directory", location, "--cluster", cluster}, &output), 0);
  umask(umaskBefore);
  EXPECT_EQ(output, location + ": created; node file " + node + "\n");
  for (const std::string folder : {"/etc", "/etc/tarne"}) {
    struct stat info {};
    ASSERT_EQ(stat((folder_ + folder).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u) << folder;
  }

  // More entries than one batch, in a dump whose header announces one: the load has written
  // a batch when it finds out.
  const std::string small = folder_ + "/small.hdr", header = folder_ + "/d.hdr";
  const std::string dump = folder_ + "/d.gz";
  Put(Uuid(0x10), kSelf, 3, 1);
  ASSERT_EQ(Admin({"dump", "--output", dump, "--header", small}), 0);
  std::vector<std::vector<uint8_t>> entries;
  for (int i = 0; i < 1500; ++i)
    entries.push_back(MakeEntry(Uuid(0x20, uint8_t(i)), kSelf, 3, i, ""));
  Completions done;
  for (auto &entry : entries) {
    ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entry), &Completions::Callback, &done, {}), 0u);
  }
  done.WaitFor(entries.size());
  ASSERT_EQ(Admin({"dump", "--output", dump, "--header", header}), 0);
  output.clear();
  EXPECT_EQ(AdminAnywhere({"restore", "--directory", location, "--input", dump, "--header", small},
                          &output),
            1);
  EXPECT_EQ(output,
            "tarne-admin: the dump holds 1501 entries but its header announces 1; "
            "nothing was restored\n");
  output.clear();
  EXPECT_EQ(AdminAnywhere({"info", "--directory", location}, &output), 0);
  EXPECT_NE(output.find("entries: 0\n"), std::string::npos) << output;

  for (const char *uuid :
       {"6a1f0c2e-1d3b-4c5a-9e8f-7a6b5c4d3e21", "6a1f0c2e-1d3b-4c5a-9e8f-7a6b5c4d3e22"}) {
    ASSERT_EQ(AdminAnywhere({"put", "--directory", location, "--uuid", uuid, "--type", "3",
                             "--file", File("a", "payload")}),
              0);
  }
  const std::string variable = std::string(dir::kDirectoryVariable) + "=" + location;
  StatusRun run = AdminStatus({}, {variable});
  ASSERT_EQ(run.status, 0) << run.text;
  const nlohmann::json &json = run.json;
  EXPECT_EQ(
      json["directory"],
      (nlohmann::json{{"location", location}, {"source", "TARNE_DIRECTORY"}, {"kind", "cluster"}}));
  EXPECT_EQ(json["node_file"], (nlohmann::json{{"path", node}, {"source", "TARNE_NODE"}}));
  EXPECT_EQ(json["entries"], 2);
  EXPECT_EQ(json["alarms"], nlohmann::json::array());
  const std::optional<dir::ClusterLocation> parsed = dir::ParseClusterLocation(location);
  ASSERT_TRUE(parsed.has_value());
  ASSERT_EQ(json["members"].size(), parsed->endpoints.size());
  size_t leaders = 0;
  for (size_t i = 0; i < parsed->endpoints.size(); ++i) {
    const nlohmann::json &member = json["members"][i];
    EXPECT_EQ(member["endpoint"], parsed->endpoints[i]);
    EXPECT_EQ(member["reachable"], true) << member;
    EXPECT_GT(member["raft_term"].get<uint64_t>(), 0u) << member;
    EXPECT_EQ(member["raft_term"], json["members"][0]["raft_term"]) << "one term for all";
    // The run's members keep etcd's default quota, 2 GiB, read from their metrics.
    EXPECT_EQ(member["quota"], int64_t{2} << 30) << member;
    EXPECT_GT(member["db_size"].get<int64_t>(), 0) << member;
    EXPECT_LE(member["db_size_in_use"].get<int64_t>(), member["db_size"].get<int64_t>());
    EXPECT_LE(member["revision"].get<int64_t>(), json["revision"].get<int64_t>());
    if (member["leader"] == true) {
      ++leaders;
      EXPECT_EQ(json["leader"], parsed->endpoints[i]);
    }
  }
  EXPECT_EQ(leaders, 1u) << json;
  EXPECT_GE(json["compacted_revision"].get<int64_t>(), 1);
  EXPECT_LE(json["compacted_revision"].get<int64_t>(), json["revision"].get<int64_t>());
  for (const std::string &endpoint : parsed->endpoints) {
    EXPECT_EQ(Count(run.text, "\nmember " + endpoint + ": up, "), 1u) << run.text;
  }
  EXPECT_NE(run.text.find("\nentries: 2\nstatus: healthy\n"), std::string::npos) << run.text;

  // The library cannot open it: each cause named, exit status 2.
  const auto unreachable = [&](const std::vector<std::string> &environment,
                               const std::string &problem) {
    const StatusRun refused = AdminStatus({}, environment);
    EXPECT_EQ(refused.status, 2) << refused.text;
    EXPECT_EQ(refused.json["status"], "unreachable");
    EXPECT_TRUE(refused.ProblemText().starts_with(problem)) << refused.ProblemText();
    EXPECT_EQ(refused.json["entries"], nullptr);
  };
  const std::string missingNode = folder_ + "/no-node";
  unreachable({variable, std::string(dir::kNodeVariable) + "=" + missingNode},
              "node file " + missingNode + ": ");
  const std::string empty = location + "-none";
  unreachable({std::string(dir::kDirectoryVariable) + "=" + empty},
              "cannot open the directory: no directory under " + parsed->prefix + "-none");
  unreachable({std::string(dir::kDirectoryVariable) + "=etcd://127.0.0.1:1/" + parsed->prefix},
              "no member answered: ");
}

}  // namespace
}  // namespace olva::test
