// Closing the library while it works for callers, and a cluster location that names a file.
#include <future>

#include "directory_fixture.h"

namespace olva::test {
namespace {

int32_t DeinitializeFromCompletion(void *context, TarneEntry *, uint32_t, OlvaUUID,
                                   PEK_ReturnStatus) {
  static_cast<std::promise<PEK_ReturnStatus> *>(context)->set_value(TARNE_Deinitialize(1));
  return 0;
}

using LifecycleTest = AnyBackendTest;

TEST_P(LifecycleTest, ClosingEndsWaitsButNotFromACallback) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(0x32), kSelf, 3, 1, "");
  std::promise<PEK_ReturnStatus> fromCallback;
  ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entry), DeinitializeFromCompletion, &fromCallback,
                                     OlvaUUID{}),
            TARNE_STATUS_SUCCESS);
  EXPECT_EQ(fromCallback.get_future().get(), TARNE_STATUS_BUSY);
  TarneQuery query = QueryAll();
  query.type = 8;
  query.flags &= uint8_t(~TARNE_QUERY_ANY_TYPE);
  EXPECT_EQ(TARNE_WaitForEntryForCluster(&query, 1, 0), TARNE_STATUS_TIMEOUT);
  auto waiting =
      std::async(std::launch::async, [&] { return TARNE_WaitForEntryForCluster(&query, 0, 0); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  Close();
  ASSERT_EQ(waiting.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(waiting.get(), TARNE_STATUS_NO_CONNECTION);
}

// A cluster location is never opened as the file its text would also name: with no member
// at that address, it is refused though the file is a sound directory.
// It reaches gRPC, so it is one of the etcd tests (their names begin EtcdCluster), which the
// ThreadSanitizer run leaves out.
using EtcdClusterLocationTest = DirectoryTest;
TEST_F(EtcdClusterLocationTest, IsNeverTakenForAFileName) {
  Close();
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
  std::filesystem::create_directories("etcd:/127.0.0.1:9");
  ASSERT_NO_FATAL_FAILURE(InitDirectory("etcd:/127.0.0.1:9/d", "", {kSelf, Clusters()}));
  WriteNode(folder_ + "/node", {kSelf, Clusters()});  // so that only the address is wrong
  setenv(dir::kNodeVariable, (folder_ + "/node").c_str(), 1);
  setenv(dir::kDirectoryVariable, "etcd://127.0.0.1:9/d", 1);
  int32_t handle = -1;
  EXPECT_EQ(TARNE_Initialize(1, 0, &handle), TARNE_STATUS_NO_CONNECTION);
  std::filesystem::current_path(previous);
  if (handle != -1) TARNE_Deinitialize(handle);
}

INSTANTIATE_TEST_SUITE_P(Backends, LifecycleTest, kBothBackends, BackendName);

}  // namespace
}  // namespace olva::test
