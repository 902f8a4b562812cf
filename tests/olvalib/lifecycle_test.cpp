// Opening and closing the library, what it tells about the node, and remote find.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "directory/directory_location.h"
#include "directory_fixture.h"

namespace olva::test {
namespace {

class ClosedLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/olvalib-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
  }
  void TearDown() override {
    unsetenv(dir::kDirectoryVariable);
    std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

TEST_F(ClosedLibraryTest, AMissingDirectoryIsNoConnectionAndIsNotCreated) {
  const std::string path = folder_ + "/absent.db";
  setenv(dir::kDirectoryVariable, path.c_str(), 1);
  int32_t handle = -1;
  EXPECT_EQ(TARNE_Initialize(1, 0, &handle), TARNE_STATUS_NO_CONNECTION);
  EXPECT_EQ(handle, -1);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ClosedLibraryTest, AFileOfAnotherKindIsNoConnection) {
  const std::string path = folder_ + "/garbage.db";
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "not a database at all, just some text\n", 38), 38);
  close(fd);
  setenv(dir::kDirectoryVariable, path.c_str(), 1);
  int32_t handle = -1;
  EXPECT_EQ(TARNE_Initialize(1, 0, &handle), TARNE_STATUS_NO_CONNECTION);
  setenv(dir::kDirectoryVariable, folder_.c_str(), 1);  // a folder
  EXPECT_EQ(TARNE_Initialize(1, 0, &handle), TARNE_STATUS_NO_CONNECTION);
}

TEST_F(ClosedLibraryTest, OperationsBeforeInitializeReportNoConnection) {
  uint32_t count = 0;
  OlvaUUID self{};
  TarneQuery query = QueryAll();
  uint8_t buffer[64];
  EXPECT_EQ(TARNE_GetNumServerContexts(&count), TARNE_STATUS_NO_CONNECTION);
  EXPECT_EQ(TARNE_GetSelfUUID(&self), TARNE_STATUS_NO_CONNECTION);
  EXPECT_EQ(TARNE_FindEntryForCluster(&query, 0, reinterpret_cast<TarneEntry *>(buffer), 64, 0),
            TARNE_STATUS_NO_CONNECTION);
  EXPECT_EQ(TARNE_WaitForEntryForCluster(&query, 1, 0), TARNE_STATUS_NO_CONNECTION);
  EXPECT_EQ(TARNE_Deinitialize(1), TARNE_STATUS_NO_CONNECTION);
}

TEST_F(TwoClusterTest, TellsTheNodesIdentity) {
  uint32_t count = 0;
  ASSERT_EQ(TARNE_GetNumServerContexts(&count), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(count, 2u);
  OlvaUUID self{};
  ASSERT_EQ(TARNE_GetSelfUUID(&self), TARNE_STATUS_SUCCESS);
  EXPECT_TRUE(SameUuid(self, kSelf));
  EXPECT_EQ(handle_, 1);
}

TEST_F(DirectoryTest, InitializeTwiceNeedsTwoDeinitializes) {
  int32_t second = -1;
  ASSERT_EQ(TARNE_Initialize(1, 0, &second), TARNE_STATUS_SUCCESS);
  ASSERT_EQ(TARNE_Deinitialize(second), TARNE_STATUS_SUCCESS);
  uint32_t count = 0;
  EXPECT_EQ(TARNE_GetNumServerContexts(&count), TARNE_STATUS_SUCCESS);
}

TEST_F(DirectoryTest, OneTransactionPerRequestGivesTheSameResults) {
  setenv(dir::kBatchVariable, "1", 1);
  Reopen();
  unsetenv(dir::kBatchVariable);
  Completions done;
  std::vector<std::vector<uint8_t>> entries;
  for (uint16_t i = 0; i < 50; ++i) entries.push_back(MakeEntry(Uuid(0x31, i), kSelf, 3, 1, "b"));
  for (auto &entry : entries) {
    ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entry), &Completions::Callback, &done, OlvaUUID{}),
              TARNE_STATUS_SUCCESS);
  }
  ASSERT_TRUE(done.WaitFor(50));
  for (const auto &seen : done.Snapshot()) EXPECT_EQ(seen.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(ListAll(QueryAll()).size(), 50u);
}

int32_t DeinitializeFromCompletion(void *context, TarneEntry *, uint32_t, OlvaUUID,
                                   PEK_ReturnStatus) {
  static_cast<std::promise<PEK_ReturnStatus> *>(context)->set_value(TARNE_Deinitialize(1));
  return 0;
}

TEST_F(DirectoryTest, DeinitializeFromACallbackIsRefused) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(0x32), kSelf, 3, 1, "");
  std::promise<PEK_ReturnStatus> result;
  ASSERT_EQ(
      TARNE_AddEntryForCluster(AsEntry(entry), DeinitializeFromCompletion, &result, OlvaUUID{}),
      TARNE_STATUS_SUCCESS);
  EXPECT_EQ(result.get_future().get(), TARNE_STATUS_BUSY);
}

// What a remote find delivers; each result is read whole from inside the callback, as the
// tool does.
struct RemoteFind {
  std::vector<std::string> payloads;
  std::vector<PEK_ReturnStatus> readStatuses;
  std::promise<PEK_ReturnStatus> end;
};

int32_t RemoteResult(void *context, const TarneEntry *header, void *, PEK_ReturnStatus status) {
  auto *find = static_cast<RemoteFind *>(context);
  if (status != TARNE_STATUS_SUCCESS) {
    find->end.set_value(status);
    return 0;
  }
  TarneQuery exact{};
  exact.uuid = header->uuid;
  exact.owner = header->owner;
  exact.type = header->type & 0x7f;
  exact.revision = header->revision;
  std::vector<uint8_t> buffer(64 + header->valueLen);
  find->readStatuses.push_back(
      TARNE_FindEntryRF(&exact, 0, AsEntry(buffer), static_cast<uint32_t>(buffer.size())));
  find->payloads.push_back(PayloadOf(AsEntry(buffer)));
  return 0;
}

TEST_F(TwoClusterTest, RemoteFindDeliversTheOwnersLocalSymbolsThenNotFound) {
  const OlvaUUID owner = Uuid(0x0a);
  Put(Uuid(1), owner, 47, 1, kClusterA);
  Put(Uuid(1), owner, 47, 2, kClusterA);  // only the latest revision is a result
  Put(Uuid(2), owner, 47, 1, kClusterB);
  Put(Uuid(3), owner, 46, 1, kClusterA);
  Put(Uuid(4), Uuid(0x0b), 47, 1, kClusterA);

  TarneRemoteFindRequest request{};
  request.owner = owner;
  request.type = 47;
  RemoteFind find;
  ASSERT_EQ(TARNE_RemoteFindEntry(&request, 0, RemoteResult, &find), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(find.end.get_future().get(), TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(find.payloads, (std::vector<std::string>{"entry 1/0 rev 2", "entry 2/0 rev 1"}));
  for (PEK_ReturnStatus status : find.readStatuses) EXPECT_EQ(status, TARNE_STATUS_SUCCESS);

  request.uuid = Uuid(2);
  RemoteFind one;
  ASSERT_EQ(TARNE_RemoteFindEntry(&request, 0, RemoteResult, &one), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(one.end.get_future().get(), TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(one.payloads, (std::vector<std::string>{"entry 2/0 rev 1"}));
}

TEST_F(DirectoryTest, RemoteFindOfTheNodeItselfAndBadRequests) {
  Put(Uuid(5), kSelfMarker, 47, 1);
  TarneRemoteFindRequest request{};
  request.owner = kSelfMarker;
  request.type = 47;
  RemoteFind find;
  ASSERT_EQ(TARNE_RemoteFindEntry(&request, 0, RemoteResult, &find), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(find.end.get_future().get(), TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(find.payloads.size(), 1u);

  RemoteFind unused;
  request.type = 46;
  EXPECT_EQ(TARNE_RemoteFindEntry(&request, 0, RemoteResult, &unused), TARNE_STATUS_BAD_PARAMETER);
  request.type = 47;
  request.owner = OlvaUUID{};
  EXPECT_EQ(TARNE_RemoteFindEntry(&request, 0, RemoteResult, &unused), TARNE_STATUS_BAD_PARAMETER);
}

}  // namespace
}  // namespace olva::test
