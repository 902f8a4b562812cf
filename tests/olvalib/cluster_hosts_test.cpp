// Two hosts of one cluster directory, each with its own node file: what one writes about
// itself the other sees, through the built tarne-tool as the other host.
#include "cluster_tool.h"
#include "directory/membership.h"
#include "directory/uuid_util.h"

namespace olva::test {
namespace {

class EtcdClusterHostsTest : public DirectoryTest {
 protected:
  Backend backend() const override { return Backend::kEtcd; }
};

TEST_F(EtcdClusterHostsTest, AMembershipAndLocalEntriesWrittenOnOneHostAreSeenOnTheOther) {
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

  // This host's local entries (type 47, owned by itself through the self marker), one in each
  // revision of the first, and an entry of another type.
  Put(Uuid(1), kSelfMarker, 47, 1);
  Put(Uuid(1), kSelfMarker, 47, 2);
  Put(Uuid(2), kSelfMarker, 47, 1);
  Put(Uuid(3), kSelfMarker, 46, 1);
  run = RunTool({"remoteFind", "-o", dir::UuidToText(kSelf), "-t", "47"}, other);
  EXPECT_EQ(run.status, 0) << run.err;
  const auto found = [&](const OlvaUUID &uuid, int revision) {
    return Count(run.out, "uuid=" + dir::UuidToText(uuid) +
                              " type=LOCAL_SYMBOL rev=" + std::to_string(revision) + " ");
  };
  EXPECT_EQ(found(Uuid(1), 2), 1u) << run.out;
  EXPECT_EQ(found(Uuid(2), 1), 1u) << run.out;
  EXPECT_EQ(Count(run.out, "uuid="), 2u) << run.out;
  run = RunTool(
      {"remoteFind", "-o", dir::UuidToText(kSelf), "-t", "47", "-u", dir::UuidToText(Uuid(1))},
      other);
  EXPECT_EQ(found(Uuid(1), 2), 1u) << run.out;
  EXPECT_EQ(Count(run.out, "uuid="), 1u) << run.out;
  // The self marker is the asking host: the other one owns nothing.
  run = RunTool({"remoteFind", "-o", "00000002-0000-0000-0000-000000000000", "-t", "47"}, other);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace olva::test
