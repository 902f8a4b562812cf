// Two hosts of one cluster directory, each with its own node file: what one writes about
// itself the other sees, through the built tarne-tool as the other host.
#include "cluster_tool.h"
#include "directory/etcd/etcd_store.h"
#include "directory/membership.h"
#include "directory/uuid_util.h"

namespace olva::test {
namespace {

class EtcdClusterHostsTest : public DirectoryTest {
 protected:
  Backend backend() const override { return Backend::kEtcd; }
};

TEST_F(EtcdClusterHostsTest, AMembershipWrittenOnOneHostIsSeenOnTheOther) {
  const std::vector<std::string> other = OtherHost();
  ToolRun run = RunTool({"amimember"}, other);
  EXPECT_EQ(run.status, 255) << "no membership yet: " << run.out << run.err;
  // This host writes the membership of its first sub-cluster, as tarne-admin members does.
  std::optional<std::vector<uint8_t>> payload = dir::EncodeMembership({1, 2, {kSelf, kOtherHost}});
  ASSERT_TRUE(payload.has_value());
  std::vector<uint8_t> entry = MakeEntry(kClusterA, kSelfMarker, dir::kMembershipType, 0,
                                         std::string(payload->begin(), payload->end()));
  ASSERT_EQ(Apply(TARNE_UpdateEntryForCluster, entry), TARNE_STATUS_SUCCESS);

  run = RunTool({"whoami"}, other);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, dir::UuidToText(kOtherHost) + "\n") << "the other host's own node file";
  run = RunTool({"amimember"}, other);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Membership: \n" + dir::UuidToText(kSelf) + "\n" +
                         dir::UuidToText(kOtherHost) + "\nI (" + dir::UuidToText(kOtherHost) +
                         ") am a member.\n");
}

TEST_F(EtcdClusterHostsTest, RemoteFindOnOneHostFindsTheOtherHostsLocalEntries) {
  // This host's local entries (type 47, owned by itself through the self marker), one in each
  // revision of the first, and an entry of another type.
  Put(Uuid(1), kSelfMarker, 47, 1);
  Put(Uuid(1), kSelfMarker, 47, 2);
  Put(Uuid(2), kSelfMarker, 47, 1);
  Put(Uuid(3), kSelfMarker, 46, 1);
  const std::vector<std::string> other = OtherHost();
  ToolRun run = RunTool({"remoteFind", "-o", dir::UuidToText(kSelf), "-t", "47"}, other);
  EXPECT_EQ(run.status, 0) << run.err;
  const auto found = [&](const OlvaUUID &uuid, int revision) {
    return Count(run.out, "uuid=" + dir::UuidToText(uuid) +
                              " type=LOCAL_SYMBOL rev=" + std::to_string(revision) + " ");
  };
  EXPECT_EQ(found(Uuid(1), 2), 1u) << run.out;
  EXPECT_EQ(found(Uuid(2), 1), 1u) << run.out;
  EXPECT_EQ(Count(run.out, "uuid="), 2u) << run.out;
  // The self marker is the asking host: the other one owns nothing.
  run = RunTool({"remoteFind", "-o", "00000002-0000-0000-0000-000000000000", "-t", "47"}, other);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
}

// tarne-tool wait on the other host, woken by an add on this one.
TEST_F(EtcdClusterHostsTest, AnAddOnOneHostWakesTheToolWaitingOnTheOther) {
  int out = -1;
  const pid_t waiting =
      StartProcess({TARNE_TOOL_PATH, "wait", "-t", "9", "-i", "20"}, &out, nullptr, OtherHost());
  usleep(500000);
  ASSERT_EQ(waitpid(waiting, nullptr, WNOHANG), 0) << "the wait ended before the add";
  Put(Uuid(0x91), kSelfMarker, 9, 1);
  const auto added = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitProcessFor(waiting, 10), 0);
  std::printf(
      "tarne-tool wait on the other host ended %.1f ms after the add completed\n",
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - added).count());
  close(out);
}

// The largest payload etcd's request limit allows: stored whole by an add and by an update
// (which also removes the older revision, in the same transaction); one byte more is refused
// at once, alone.
using EtcdClusterPayloadTest = EtcdClusterHostsTest;

TEST_F(EtcdClusterPayloadTest, TheMaximumPayloadIsStoredAndOneByteMoreRefused) {
  std::string error;
  const auto store = dir::EtcdStore::Open(*dir::ParseClusterLocation(location_), {}, &error);
  ASSERT_NE(store, nullptr) << error;
  const uint64_t maximum = store->MaxPayload();
  std::printf("maximum payload on etcd: %llu bytes\n", (unsigned long long)maximum);
  ASSERT_GT(maximum, 0u);
  ASSERT_LT(maximum, dir::kEtcdMaxRequestBytes);

  std::vector<uint8_t> largest =
      MakeEntry(Uuid(0x71), kSelfMarker, 9, 1, std::string(maximum, 'm'));
  std::vector<uint8_t> over =
      MakeEntry(Uuid(0x72), kSelfMarker, 9, 1, std::string(maximum + 1, 'o'));
  std::vector<uint8_t> small = MakeEntry(Uuid(0x73), kSelfMarker, 9, 1, "s");
  Completions done;
  ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(largest), &Completions::Callback, &done, {}), 0u);
  EXPECT_EQ(TARNE_AddEntryForCluster(AsEntry(over), &Completions::Callback, &done, {}),
            TARNE_STATUS_LIMIT_EXCEEDED);
  ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(small), &Completions::Callback, &done, {}), 0u);
  for (const auto &[entry, status] : done.WaitFor(2)) {
    EXPECT_EQ(status, TARNE_STATUS_SUCCESS) << (entry == AsEntry(largest) ? "largest" : "small");
  }
  std::vector<uint8_t> update = MakeEntry(Uuid(0x71), kSelfMarker, 9, 0, std::string(maximum, 'M'));
  ASSERT_EQ(Apply(TARNE_UpdateEntryForCluster, update), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(AsEntry(update)->revision, 2u);
  std::vector<uint8_t> over2 =
      MakeEntry(Uuid(0x71), kSelfMarker, 9, 0, std::string(maximum + 1, 'O'));
  EXPECT_EQ(Apply(TARNE_UpdateEntryForCluster, over2), TARNE_STATUS_LIMIT_EXCEEDED);

  TarneQuery query = QueryAll();
  query.uuid = Uuid(0x71);
  query.flags &= uint8_t(~TARNE_QUERY_ANY_UUID);
  std::vector<uint8_t> buffer(64 + maximum + 16);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), uint32_t(buffer.size()), 0), 0u);
  EXPECT_EQ(AsEntry(buffer)->revision, 2u);
  EXPECT_TRUE(PayloadOf(AsEntry(buffer)) == std::string(maximum, 'M')) << "stored whole";
  EXPECT_EQ(ListAll(query).size(), 1u) << "the older revision removed";
}

}  // namespace
}  // namespace olva::test
