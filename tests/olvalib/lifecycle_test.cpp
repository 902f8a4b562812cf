// Closing the library while it works for callers, and remote find.
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
using TwoClusterLifecycleTest = TwoClusterAnyBackendTest;

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

// What a remote find delivers; each result is read whole from inside the callback, as the
// tool does.
struct RemoteFind {
  std::vector<std::string> payloads;
  std::promise<PEK_ReturnStatus> end;
};

int32_t RemoteResult(void *context, const TarneEntry *header, void *, PEK_ReturnStatus status) {
  auto *find = static_cast<RemoteFind *>(context);
  if (status != TARNE_STATUS_SUCCESS) {
    find->end.set_value(status);
    return 0;
  }
  const TarneQuery exact = Exact(*header);
  std::vector<uint8_t> buffer(64 + header->valueLen);
  EXPECT_EQ(TARNE_FindEntryRF(&exact, 0, AsEntry(buffer), uint32_t(buffer.size())), 0u);
  find->payloads.push_back(PayloadOf(AsEntry(buffer)));
  return 0;
}

TEST_P(TwoClusterLifecycleTest, RemoteFindDeliversTheOwnersLatestSymbolsThenNotFound) {
  const OlvaUUID owner = Uuid(0x0a);
  Put(Uuid(1), owner, 47, 1, kClusterA);
  Put(Uuid(1), owner, 47, 2, kClusterA);  // only the latest revision is a result
  Put(Uuid(2), owner, 47, 1, kClusterB);
  Put(Uuid(3), owner, 46, 1, kClusterA);
  Put(Uuid(4), Uuid(0x0b), 47, 1, kClusterA);
  Put(Uuid(5), kSelfMarker, 47, 1, kClusterB);
  const auto find = [](const OlvaUUID &owner, const OlvaUUID &uuid) {
    TarneRemoteFindRequest request{owner, 47, uuid};
    RemoteFind found;
    EXPECT_EQ(TARNE_RemoteFindEntry(&request, 0, RemoteResult, &found), TARNE_STATUS_SUCCESS);
    EXPECT_EQ(found.end.get_future().get(), TARNE_STATUS_NOT_FOUND);
    return found.payloads;
  };
  EXPECT_EQ(find(owner, {}), (std::vector<std::string>{"entry 1/0 rev 2", "entry 2/0 rev 1"}));
  EXPECT_EQ(find(owner, Uuid(2)), (std::vector<std::string>{"entry 2/0 rev 1"}));
  EXPECT_EQ(find(kSelfMarker, {}), (std::vector<std::string>{"entry 5/0 rev 1"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, LifecycleTest, kBothBackends, BackendName);
INSTANTIATE_TEST_SUITE_P(Backends, TwoClusterLifecycleTest, kBothBackends, BackendName);

}  // namespace
}  // namespace olva::test
