// Waits for an entry or a membership: at once, after a timeout, and woken by this process,
// by another process, or by the library closing.
#include <chrono>
#include <future>

#include "directory/uuid_util.h"
#include "directory_fixture.h"
#include "test_process.h"

namespace olva::test {
namespace {

using Clock = std::chrono::steady_clock;

TarneQuery TypeQuery(uint8_t type) {
  TarneQuery query = QueryAll();
  query.type = type;
  query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_TYPE);
  return query;
}

using WaitTest = DirectoryTest;

TEST_F(WaitTest, ReturnsAtOnceWhenAMatchExists) {
  Put(Uuid(1), kSelf, 8, 1);
  const TarneQuery query = TypeQuery(8);
  EXPECT_EQ(TARNE_WaitForEntryForCluster(&query, 5, 0), TARNE_STATUS_SUCCESS);
}

TEST_F(WaitTest, TimesOutAfterTheGivenSeconds) {
  const TarneQuery query = TypeQuery(8);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(TARNE_WaitForEntryForCluster(&query, 1, 0), TARNE_STATUS_TIMEOUT);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(990));
  EXPECT_LT(waited, std::chrono::seconds(3));
  EXPECT_EQ(TARNE_WaitForMembershipForCluster(1, OlvaUUID{}), TARNE_STATUS_TIMEOUT);
}

TEST_F(WaitTest, WokenByAnAddOfThisProcess) {
  const TarneQuery query = TypeQuery(8);
  std::future<PEK_ReturnStatus> waiting =
      std::async(std::launch::async, [&] { return TARNE_WaitForEntryForCluster(&query, 0, 0); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  Put(Uuid(1), kSelf, 8, 1);
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), TARNE_STATUS_SUCCESS);
}

TEST_F(WaitTest, WokenByAnotherProcess) {
  const TarneQuery query = TypeQuery(8);
  std::future<PEK_ReturnStatus> waiting =
      std::async(std::launch::async, [&] { return TARNE_WaitForEntryForCluster(&query, 20, 0); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  const ProcessResult put = RunProcess({TARNE_ADMIN_PATH, "put", "--directory", Path(), "--uuid",
                                        dir::UuidToText(Uuid(2)), "--type", "8"},
                                       "from another process");
  ASSERT_EQ(put.exitStatus, 0) << put.err;
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), TARNE_STATUS_SUCCESS);
}

TEST_F(WaitTest, MembershipWokenByAnotherProcess) {
  std::future<PEK_ReturnStatus> waiting = std::async(
      std::launch::async, [&] { return TARNE_WaitForMembershipForCluster(20, kClusterA); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  const ProcessResult members =
      RunProcess({TARNE_ADMIN_PATH, "members", "--directory", Path(), "--cluster",
                  dir::UuidToText(kClusterA), dir::UuidToText(kSelf)});
  ASSERT_EQ(members.exitStatus, 0) << members.err;
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), TARNE_STATUS_SUCCESS);
}

TEST_F(WaitTest, ClosingTheLibraryEndsAWait) {
  const TarneQuery query = TypeQuery(8);
  std::future<PEK_ReturnStatus> waiting =
      std::async(std::launch::async, [&] { return TARNE_WaitForEntryForCluster(&query, 0, 0); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  ASSERT_EQ(TARNE_Deinitialize(handle_), TARNE_STATUS_SUCCESS);
  handle_ = -1;
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), TARNE_STATUS_NO_CONNECTION);
}

}  // namespace
}  // namespace olva::test
