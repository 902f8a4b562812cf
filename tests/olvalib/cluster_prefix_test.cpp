// Directories side by side on one cluster, whatever their prefixes: one fully used (adds,
// listings, a delete of everything, dump, check, init --force) sees only its own entries and
// leaves every key of the other as it was, nested prefixes included. And the longest prefix
// still stores the largest payload it reports.
#include <map>
#include <sstream>
#include <tuple>

#include "cluster_tool.h"
#include "directory/uuid_util.h"

namespace olva::test {
namespace {

// Every key of the cluster with its value and revisions: what "untouched" compares.
using KeySpace = std::map<std::string, std::tuple<std::string, int64_t, int64_t>>;

class EtcdClusterPrefixTest : public EtcdClusterOwnTest {
 protected:
  int Members() const override { return 1; }

  // The location of prefix on the test's cluster; with none, the default prefix.
  std::string Location(const std::string &prefix) const {
    return location_.substr(0, location_.find('/', 7)) + (prefix.empty() ? "" : "/" + prefix);
  }

  // tarne-tool with TARNE_DIRECTORY naming the location; sh -c when a confirmation is typed.
  static ToolRun Tool(const std::vector<std::string> &words, const std::string &location) {
    return RunTool(words, {std::string(dir::kDirectoryVariable) + "=" + location});
  }
  static ToolRun Delete(const std::string &words, const std::string &location) {
    return RunProgram("/bin/sh", {"-c", "echo yes | exec \"$0\" delete " + words, TARNE_TOOL_PATH},
                      {std::string(dir::kDirectoryVariable) + "=" + location});
  }
  static ToolRun Admin(std::vector<std::string> words, const std::string &location) {
    words.insert(words.end(), {"--directory", location});
    return RunProgram(TARNE_ADMIN_PATH, words);
  }
  // tarne-admin init on a host without a node file yet.
  ToolRun InitNewHost(const std::string &location) {
    const std::string node = folder_ + "/new-host-node";
    std::filesystem::remove(node);
    return RunProgram(TARNE_ADMIN_PATH, {"init", "--directory", location},
                      {std::string(dir::kNodeVariable) + "=" + node});
  }

  void PutEntries(const std::string &location, uint8_t tag) {
    const std::string file = folder_ + "/payload";
    std::ofstream(file) << "payload of " << int(tag);
    for (uint8_t i = 1; i <= 3; ++i) {
      const ToolRun run = Admin({"put", "--uuid", dir::UuidToText(Uuid(tag, i)), "--type", "3",
                                 "--revision", std::to_string(i), "--file", file},
                                location);
      ASSERT_EQ(run.status, 0) << location << ": " << run.err;
    }
  }

  // A shell command run with etcdctl pointed at the cluster and these NAME=VALUE variables;
  // its standard output. Fails the test unless it succeeds.
  std::string Etcdctl(const std::string &command, std::vector<std::string> variables = {}) {
    variables.insert(variables.end(),
                     {"ETCDCTL_API=3", "ETCDCTL_ENDPOINTS=" + Location("").substr(7)});
    const ToolRun run = RunProgram("/bin/sh", {"-c", command}, variables);
    [&] { ASSERT_EQ(run.status, 0) << command << ": " << run.err; }();
    return run.out;
  }
  // A key of that value: text, or base-64 as Everything() holds it.
  void PutKey(const std::string &key, const std::string &value, bool base64 = false) {
    Etcdctl(base64 ? "printf %s \"$V\" | base64 -d | etcdctl put \"$K\" >/dev/null"
                   : "etcdctl put \"$K\" \"$V\" >/dev/null",
            {"K=" + key, "V=" + value});
  }
  // Every key (text: a directory's keys are) with its value in base-64 and its revisions.
  KeySpace Everything() {
    KeySpace keys;
    std::istringstream lines(Etcdctl(
        "etcdctl get --from-key '' -w json | jq -r '.kvs[]? | \"\\(.key | @base64d) \\(.value) "
        "\\(.create_revision) \\(.mod_revision)\"'"));
    std::string key, value;
    int64_t created = 0, modified = 0;
    while (lines >> key >> value >> created >> modified) keys[key] = {value, created, modified};
    return keys;
  }

  // How many of the entries tagged tag the text names.
  static size_t Named(const std::string &text, uint8_t tag) {
    size_t count = 0;
    for (uint8_t i = 1; i <= 3; ++i) count += Count(text, dir::UuidToText(Uuid(tag, i)));
    return count;
  }
};

// Each pair on the emptied cluster, each nesting both ways round: the default prefix (none
// given) beside one below it, a directory whose prefix is an order's tag below another's,
// and what operators write. Three pairs to a cluster, so that a loaded machine runs each
// test well within its bound.
const std::pair<std::string, std::string> kPairs[3][3] = {
    {{"x", "x/u"}, {"x/u", "x"}, {"x", "x/t"}},
    {{"x", "x/o"}, {"", "tarne/u"}, {"tarne/u", ""}},
    {{"team/prod", "team/prod/eu"}, {"team/prod/eu", "team/prod"}, {"a%2Fb", "a/b"}}};
class EtcdClusterNestedPrefixTest : public EtcdClusterPrefixTest,
                                    public ::testing::WithParamInterface<int> {};

TEST_P(EtcdClusterNestedPrefixTest, EveryCommandOnOneLeavesTheOtherUntouched) {
  constexpr uint8_t kUsed = 0x11, kOther = 0x22;
  for (const auto &[usedPrefix, otherPrefix] : kPairs[GetParam()]) {
    SCOPED_TRACE("'" + usedPrefix + "' beside '" + otherPrefix + "'");
    ASSERT_NO_FATAL_FAILURE(Etcdctl("etcdctl del --from-key '' >/dev/null"));
    const std::string used = Location(usedPrefix), other = Location(otherPrefix);
    ASSERT_NO_FATAL_FAILURE(InitDirectory(other, folder_ + "/created-node"));
    ASSERT_NO_FATAL_FAILURE(PutEntries(other, kOther));
    const KeySpace before = Everything();
    ASSERT_FALSE(before.empty());

    ASSERT_NO_FATAL_FAILURE(InitDirectory(used, folder_ + "/created-node"));
    ASSERT_NO_FATAL_FAILURE(PutEntries(used, kUsed));
    ToolRun found = Tool({"find", "-a", "-f", "json"}, used);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(Named(found.out, kUsed), 3u) << found.out;
    EXPECT_EQ(Named(found.out, kOther), 0u) << found.out;
    ToolRun run = Admin({"info"}, used);
    EXPECT_NE(run.out.find("entries: 3\n"), std::string::npos) << run.out << run.err;
    run = Admin({"check"}, used);
    EXPECT_EQ(run.out, used + ": ok, 3 entries\n") << run.err;
    const std::string dump = folder_ + "/d.gz", header = folder_ + "/d.hdr";
    run = Admin({"dump", "--output", dump, "--header", header}, used);
    EXPECT_EQ((run.out + run.err).rfind("dumped 3 entries", 0), 0u) << run.out << run.err;

    run = Delete("", used);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    found = Tool({"find", "-a", "-f", "json"}, used);
    EXPECT_EQ(Named(found.out, kUsed), 0u) << "all deleted: " << found.out;
    run = Admin({"restore", "--input", dump, "--header", header}, used);
    EXPECT_EQ(run.status, 0) << run.err;
    run = Admin({"init", "--force", "--self", dir::UuidToText(kSelf), "--cluster",
                 dir::UuidToText(kClusterA)},
                used);
    EXPECT_EQ(run.status, 0) << run.err;
    run = Admin({"info"}, used);
    EXPECT_NE(run.out.find("entries: 0\n"), std::string::npos)
        << "init --force empties: " << run.out;

    // The other directory: every key as it was (value and revisions), and its own view whole.
    const KeySpace after = Everything();
    for (const auto &[key, stored] : before) {
      const auto kept = after.find(key);
      EXPECT_TRUE(kept != after.end() && kept->second == stored) << "changed or gone: " << key;
    }
    found = Tool({"find", "-a", "-f", "json"}, other);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(Named(found.out, kOther), 3u) << found.out;
    EXPECT_EQ(Named(found.out, kUsed), 0u) << found.out;
    run = Admin({"check"}, other);
    EXPECT_EQ(run.out, other + ": ok, 3 entries\n");
  }
}

INSTANTIATE_TEST_SUITE_P(EtcdClusterPrefixes, EtcdClusterNestedPrefixTest, ::testing::Range(0, 3));

// A row key as the earlier layout wrote it under PREFIX/: the table order's tag, then the
// row's columns as hex.
std::string EarlierRowKey(const std::string &prefix) {
  return prefix + "/u/" + std::string(144, '0');
}

// Directories written before prefixes were escaped: one whose prefix holds a '/' is refused,
// never silently taken for an empty one, until tarne-admin upgrade moves it or init --force
// replaces it; the keys of one nested under a prefix without '/' (the same layout then and
// now), and keys of no row's shape in a directory's range, are neither read, nor counted, nor
// in the way of a change.
TEST_F(EtcdClusterPrefixTest, DirectoriesOfTheEarlierLayoutAreRefusedMovedOrStayApart) {
  // A prefix without '/' has the same keys in both layouts: its keys, copied under
  // team/prod/ and team/dev/, are the directories the earlier layout wrote there.
  ASSERT_NO_FATAL_FAILURE(InitDirectory(Location("scratch"), folder_ + "/created-node"));
  ASSERT_NO_FATAL_FAILURE(PutEntries(Location("scratch"), 0x44));
  for (const auto &[key, stored] : Everything()) {
    if (!key.starts_with("scratch/")) continue;
    for (const std::string earlier : {"team/prod/", "team/dev/"}) {
      ASSERT_NO_FATAL_FAILURE(PutKey(earlier + key.substr(8), std::get<0>(stored), true));
    }
  }
  ASSERT_NO_FATAL_FAILURE(PutKey(EarlierRowKey("team/prod/u"), "a nested directory's row"));
  const std::string prod = Location("team/prod"), dev = Location("team/dev");
  const ToolRun refused = Tool({"find", "-a"}, prod);
  EXPECT_EQ(refused.status, 255) << refused.err;
  ToolRun run = Admin({"info"}, prod);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("team/prod has the earlier key layout (keys under team/prod/): move it "
                         "with tarne-admin upgrade"),
            std::string::npos)
      << run.err;
  const std::vector<std::string> init{
      "init", "--self", dir::UuidToText(kSelf), "--cluster", dir::UuidToText(kClusterA), "--force"};
  run = InitNewHost(prod);
  EXPECT_EQ(run.status, 1) << "a join would hide the earlier rows: " << run.out << run.err;
  EXPECT_NE(run.err.find("earlier key layout"), std::string::npos) << run.err;

  run = Admin({"upgrade"}, prod);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, prod + ": moved 3 entries to the current key layout\n");
  const ToolRun found = Tool({"find", "-a", "-f", "json"}, prod);
  EXPECT_EQ(Named(found.out, 0x44), 3u) << found.out << found.err;
  run = Admin({"check"}, prod);
  EXPECT_EQ(run.out, prod + ": ok, 3 entries\n");
  run = Admin({"upgrade"}, prod);
  EXPECT_EQ(run.status, 1) << "moved already: " << run.out << run.err;
  run = Admin(init, dev);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (const auto &[key, stored] : Everything()) {
    EXPECT_FALSE(key.starts_with("team/dev/")) << "the replaced directory's: " << key;
    EXPECT_TRUE(!key.starts_with("team%2Fdev/") || key == "team%2Fdev/format") << key;
    EXPECT_TRUE(!key.starts_with("team/prod/") || key == EarlierRowKey("team/prod/u")) << key;
  }

  // x/u of the earlier layout inside the range of x, whose layout did not change.
  ASSERT_NO_FATAL_FAILURE(PutKey("x/u/format", "tarne-directory 1"));
  ASSERT_NO_FATAL_FAILURE(PutKey(EarlierRowKey("x/u"), "a nested directory's row"));
  ASSERT_NO_FATAL_FAILURE(PutKey("x/t/030z", "no row's shape, in x's own range"));
  const std::string x = Location("x");
  ASSERT_NO_FATAL_FAILURE(InitDirectory(x, folder_ + "/created-node"));
  ASSERT_NO_FATAL_FAILURE(PutEntries(x, 0x33));
  for (const std::vector<std::string> &find :
       {std::vector<std::string>{"find", "-a", "-f", "json"}, {"find", "-t", "3", "-f", "json"}}) {
    const ToolRun found = Tool(find, x);
    EXPECT_EQ(found.status, 0) << find[1] << ": " << found.err;
    EXPECT_EQ(Named(found.out, 0x33), 3u) << find[1] << ": " << found.out;
  }
  run = Admin({"info"}, x);
  EXPECT_NE(run.out.find("entries: 3\n"), std::string::npos) << run.out << run.err;
  run = Admin({"check"}, x);
  EXPECT_EQ(run.out, x + ": ok, 3 entries\n");
  run = Delete("-t 3", x);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  run = Admin(init, x);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const KeySpace keys = Everything();
  for (const std::string &key : {std::string("x/u/format"), EarlierRowKey("x/u")}) {
    EXPECT_EQ(keys.count(key), 1u) << key;
  }
}

// The longest prefix a location may name, '%' and '/' in it (escaped, three times as long):
// an add and an update of the largest payload the store reports are stored whole, the update
// removing 41 older revisions in its transaction, the most one holds; one byte more is refused.
// On the test run's cluster: the fixture's fresh prefix begins the long one.
class EtcdClusterLongPrefixTest : public DirectoryTest {
 protected:
  Backend backend() const override { return Backend::kEtcd; }
};
TEST_F(EtcdClusterLongPrefixTest, TheLongestPrefixStillStoresTheLargestPayload) {
  std::string location = location_ + "/";
  while (location.size() - location.find('/', 7) + 2 < 1024) location += "a%/";
  location.resize(location.find('/', 7) + 1 + 1024, 'b');
  const std::string prefix = location.substr(location.find('/', 7) + 1);
  ASSERT_TRUE(dir::ParseClusterLocation(location).has_value());
  EXPECT_FALSE(dir::ParseClusterLocation(location + "b").has_value()) << "one byte longer";
  Close();
  ASSERT_NO_FATAL_FAILURE(InitDirectory(location, nodePath_));
  setenv(dir::kDirectoryVariable, location.c_str(), 1);
  ASSERT_EQ(TARNE_Initialize(1, 0, &handle_), TARNE_STATUS_SUCCESS);
  std::string error;
  dir::DirectoryInfo info;
  const auto store = dir::BackendFor(location).Open(location, nodePath_, &info, &error);
  ASSERT_NE(store, nullptr) << error;
  const uint64_t maximum = store->MaxPayload();
  std::printf("maximum payload under a %zu-byte prefix: %llu bytes\n", prefix.size(),
              (unsigned long long)maximum);

  std::vector<uint8_t> largest = MakeEntry(Uuid(0x71), kSelf, 9, 1, std::string(maximum, 'm'));
  ASSERT_EQ(Apply(TARNE_AddEntryForCluster, largest), TARNE_STATUS_SUCCESS);
  Completions done;
  std::vector<std::vector<uint8_t>> older;
  for (uint64_t revision = 2; revision <= 42; ++revision) {
    older.push_back(MakeEntry(Uuid(0x71), kSelf, 9, revision, "r"));
  }
  for (auto &entry : older) {
    ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entry), &Completions::Callback, &done, {}), 0u);
  }
  for (const auto &[entry, status] : done.WaitFor(older.size())) {
    ASSERT_EQ(status, TARNE_STATUS_SUCCESS) << "revision " << entry->revision;
  }
  std::vector<uint8_t> update = MakeEntry(Uuid(0x71), kSelf, 9, 0, std::string(maximum, 'M'));
  ASSERT_EQ(Apply(TARNE_UpdateEntryForCluster, update), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(AsEntry(update)->revision, 43u);
  std::vector<uint8_t> over = MakeEntry(Uuid(0x72), kSelf, 9, 1, std::string(maximum + 1, 'o'));
  EXPECT_EQ(Apply(TARNE_AddEntryForCluster, over), TARNE_STATUS_LIMIT_EXCEEDED);
  over = MakeEntry(Uuid(0x71), kSelf, 9, 0, std::string(maximum + 1, 'O'));
  EXPECT_EQ(Apply(TARNE_UpdateEntryForCluster, over), TARNE_STATUS_LIMIT_EXCEEDED);

  const TarneQuery exact = Exact(*AsEntry(update));
  std::vector<uint8_t> buffer(64 + maximum + 16);
  ASSERT_EQ(TARNE_FindEntryForCluster(&exact, 0, AsEntry(buffer), uint32_t(buffer.size()), 0), 0u);
  EXPECT_TRUE(PayloadOf(AsEntry(buffer)) == std::string(maximum, 'M')) << "stored whole";
  ExpectSoundDirectory(location, nodePath_);
}

}  // namespace
}  // namespace olva::test
