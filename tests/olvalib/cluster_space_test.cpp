// A cluster whose space is exhausted: members started with a small quota, filled until they
// refuse. The refusal says why; lookups, deletions and a host joining go on; tarne-admin
// compact brings the writes back.
#include <cstdio>
#include <sstream>

#include "cluster_tool.h"
#include "directory/uuid_util.h"

namespace olva::test {
namespace {

// Each member's database may grow to this: a few dozen of the entries below.
constexpr int kQuotaBytes = 2'000'000;
constexpr size_t kPayloadBytes = 60'000;
constexpr uint8_t kType = 31;

class EtcdClusterSpaceTest : public EtcdClusterOwnTest {
 protected:
  std::vector<std::string> StartWords() const override {
    return {"--quota", std::to_string(kQuotaBytes)};
  }
  static std::vector<uint8_t> Entry(uint8_t number) {
    return MakeEntry(Uuid(0x3a, number), kSelf, kType, 1, std::string(kPayloadBytes, 'p'));
  }
};

// tarne-admin runs as this host: TARNE_NODE names its node file.
TEST_F(EtcdClusterSpaceTest, AFullClusterRefusesWritesByNameKeepsTheRestAndCompactFreesIt) {
  // Adds until the members refuse one; each add holds three copies of its payload.
  uint8_t added = 0;
  PEK_ReturnStatus refused = TARNE_STATUS_SUCCESS;
  for (; added < 200; ++added) {
    std::vector<uint8_t> entry = Entry(added);
    refused = Apply(TARNE_AddEntryForCluster, entry);
    if (refused != TARNE_STATUS_SUCCESS) break;
  }
  ASSERT_EQ(refused, TARNE_STATUS_QUOTA_EXCEEDED) << "after " << int(added) << " adds";
  ASSERT_GE(added, 3) << "the quota let almost nothing in";

  // tarne-admin's write says so too.
  const std::string payloadFile = folder_ + "/payload";
  std::ofstream(payloadFile) << std::string(kPayloadBytes, 'q');
  ToolRun put = RunProgram(
      TARNE_ADMIN_PATH, {"put", "--uuid", dir::UuidToText(Uuid(0x3b)), "--type",
                         std::to_string(kType), "--file", payloadFile, "--directory", location_});
  EXPECT_EQ(put.status, 1);
  EXPECT_EQ(put.err,
            "tarne-admin: cannot write: quota exceeded: the cluster's space is exhausted "
            "(tarne-admin compact frees it)\n");

  // status names the alarm, and the quota it was raised at, read from the members' metrics;
  // check fails on it.
  StatusRun status = AdminStatus();
  EXPECT_EQ(status.status, 1) << status.text;
  EXPECT_NE(status.text.find("\nalarm: NOSPACE on 127.0.0.1:"), std::string::npos) << status.text;
  EXPECT_TRUE(status.ProblemText().starts_with("alarm NOSPACE on 127.0.0.1:"))
      << status.ProblemText();
  ASSERT_GE(status.json["alarms"].size(), 1u) << status.json;
  for (const auto &member : status.json["members"]) {
    EXPECT_EQ(member["quota"], kQuotaBytes) << member;
    EXPECT_EQ(member["reachable"], true) << member;
  }
  ToolRun check = RunProgram(TARNE_ADMIN_PATH, {"check"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, "");
  EXPECT_TRUE(
      check.err.starts_with("tarne-admin: " + location_ + ": alarm NOSPACE raised on 127.0.0.1:"))
      << check.err;
  EXPECT_EQ(Count(check.err, "tarne-admin compact frees the space and clears the alarm"),
            status.json["alarms"].size())
      << check.err;

  // Lookups still answer, whole. The add that took the database over its quota was stored
  // although refused: the members apply a write, then find the space exhausted.
  const std::vector<TarneEntry> listed = ListAll(QueryAll());
  ASSERT_GE(listed.size(), size_t(added));
  ASSERT_LE(listed.size(), size_t(added) + 1);
  const auto stored = static_cast<uint8_t>(listed.size());
  std::vector<uint8_t> buffer(sizeof(TarneEntry) + kPayloadBytes);
  std::vector<uint8_t> firstEntry = Entry(0);
  const TarneQuery first = Exact(*AsEntry(firstEntry));
  ASSERT_EQ(TARNE_FindEntryForCluster(&first, 0, AsEntry(buffer), uint32_t(buffer.size()), 0),
            TARNE_STATUS_SUCCESS);
  EXPECT_EQ(PayloadOf(AsEntry(buffer)), std::string(kPayloadBytes, 'p'));

  // A host joins: that writes nothing.
  ToolRun join = RunProgram(TARNE_ADMIN_PATH,
                            {"init", "--self", dir::UuidToText(kOtherHost), "--cluster",
                             dir::UuidToText(kClusterA), "--directory", location_},
                            {std::string(dir::kNodeVariable) + "=" + folder_ + "/node-joined"});
  EXPECT_EQ(join.status, 0) << join.err;
  EXPECT_EQ(join.out, location_ + ": joined the directory already there; node file " + folder_ +
                          "/node-joined\n");

  // Deletions pass; the space they free comes back only once the history is compacted and
  // the alarm cleared.
  for (uint8_t number = 0; number < stored; ++number) {
    std::vector<uint8_t> entry = Entry(number);
    ASSERT_EQ(Apply(TARNE_DeleteEntryForCluster, entry), TARNE_STATUS_SUCCESS) << int(number);
  }
  ASSERT_EQ(ListAll(QueryAll()).size(), 0u);
  std::vector<uint8_t> again = Entry(0);
  EXPECT_EQ(Apply(TARNE_AddEntryForCluster, again), TARNE_STATUS_QUOTA_EXCEEDED);

  ToolRun compact = RunProgram(TARNE_ADMIN_PATH, {"compact", "--directory", location_});
  EXPECT_EQ(compact.status, 0) << compact.err;
  EXPECT_EQ(compact.err, "");
  // One line for the compaction, one per member defragmented (its size after, then
  // before), then one per member whose alarm was cleared.
  std::istringstream lines(compact.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_TRUE(line.starts_with("compacted: history kept from revision ")) << compact.out;
  const std::optional<dir::ClusterLocation> cluster = dir::ParseClusterLocation(location_);
  ASSERT_TRUE(cluster.has_value());
  for (const std::string &endpoint : cluster->endpoints) {
    std::getline(lines, line);
    long long after = -1, before = -1;
    EXPECT_EQ(std::sscanf(line.c_str(),
                          ("defragmented " + endpoint + ": %lld bytes, %lld before").c_str(),
                          &after, &before),
              2)
        << compact.out;
    EXPECT_LT(after, before) << line;
    EXPECT_LT(after, kQuotaBytes / 2) << line;  // the deleted entries' space is back
  }
  size_t cleared = 0;
  for (; std::getline(lines, line); ++cleared) {
    EXPECT_TRUE(line.starts_with("space alarm cleared on 127.0.0.1:")) << compact.out;
  }
  EXPECT_GE(cleared, 1u) << compact.out;
  EXPECT_EQ(Apply(TARNE_AddEntryForCluster, again), TARNE_STATUS_SUCCESS);
  // Healthy again, the history starting where compact left it.
  status = AdminStatus();
  EXPECT_EQ(status.status, 0) << status.text;
  EXPECT_EQ(
      status.json["compacted_revision"],
      std::stoll(compact.out.substr(std::string("compacted: history kept from revision ").size())))
      << compact.out << status.text;
  EXPECT_EQ(status.json["entries"], 1);
  check = RunProgram(TARNE_ADMIN_PATH, {"check"});
  EXPECT_EQ(check.status, 0) << check.err;

  // Nothing left to clear a second time; the history starts later.
  compact = RunProgram(TARNE_ADMIN_PATH, {"compact", "--directory", location_});
  EXPECT_EQ(compact.status, 0) << compact.err;
  EXPECT_EQ(Count(compact.out, "space alarm cleared"), 0u) << compact.out;
}

TEST(AdminCompactTest, NeedsADirectoryOnACluster) {
  const std::string file = "/tmp/olvalib-no-such-folder/directory.db";
  ToolRun compact = RunProgram(TARNE_ADMIN_PATH, {"compact", "--directory", file});
  EXPECT_EQ(compact.status, 1);
  EXPECT_EQ(compact.out, "");
  EXPECT_EQ(compact.err,
            "tarne-admin: " + file + " is not a directory on a cluster: nothing to compact\n");
}

}  // namespace
}  // namespace olva::test
