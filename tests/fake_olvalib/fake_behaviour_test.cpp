// The fake's own promises, which the end-to-end tests build on: scripted entries are found
// like the library finds them, and completions arrive later on another thread.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "fake_control.h"

namespace {

constexpr uint8_t kAnyAll =
    TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION | TARNE_QUERY_ANY_TYPE;

void UseScript(const char *text) {
  ASSERT_TRUE(FakeOlva_UseScript(text)) << FakeOlva_LastError();
}

// Collects asynchronous callbacks and lets the test wait for a number of them.
struct Callbacks {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<PEK_ReturnStatus> statuses;
  std::vector<std::thread::id> threads;
  std::vector<bool> hadHeader;

  void Record(PEK_ReturnStatus status, bool header) {
    std::lock_guard<std::mutex> lock(mutex);
    statuses.push_back(status);
    threads.push_back(std::this_thread::get_id());
    hadHeader.push_back(header);
    changed.notify_all();
  }
  void WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return statuses.size() >= count; });
  }
};

int32_t OnUpdate(void *context, TarneEntry *, uint32_t, OlvaUUID, PEK_ReturnStatus status) {
  static_cast<Callbacks *>(context)->Record(status, true);
  return 0;
}

int32_t OnRemoteResult(void *context, const TarneEntry *header, void *, PEK_ReturnStatus status) {
  static_cast<Callbacks *>(context)->Record(status, header != nullptr);
  return 0;
}

TEST(FakeScript, RejectsUnknownLinesAndWordsNamingTheLine) {
  EXPECT_FALSE(FakeOlva_UseScript("init status=1\nbogus\n"));
  EXPECT_NE(std::string(FakeOlva_LastError()).find("line 2"), std::string::npos);
  EXPECT_FALSE(FakeOlva_UseScript("entry colour=blue"));
  EXPECT_FALSE(FakeOlva_UseScript("entry payload-text=\"unterminated"));
  EXPECT_TRUE(FakeOlva_UseScript("# comment only\n\n  clusters count=2 # trailing\n"));
}

TEST(FakeScript, StartUpCallsReportTheScriptedStatuses) {
  UseScript(
      "init status=0x0BAD0040\n"
      "clusters count=3\n"
      "self uuid=01020304-0506-0708-090a-0b0c0d0e0f10\n");
  int32_t handle = -1;
  EXPECT_EQ(TARNE_Initialize(1, 0, &handle), 0x0BAD0040u);
  EXPECT_EQ(handle, -1);
  uint32_t count = 0;
  EXPECT_EQ(TARNE_GetNumServerContexts(&count), 0u);
  EXPECT_EQ(count, 3u);
  OlvaUUID self{};
  EXPECT_EQ(TARNE_GetSelfUUID(&self), 0u);
  EXPECT_EQ(self.bytes[0], 0x01);
  EXPECT_EQ(self.bytes[15], 0x10);
}

TEST(FakeFind, WalksMatchesInOrderAndCutsPayloadsToTheBuffer) {
  UseScript(
      "entry uuid=00000000-0000-0000-0000-000000000001 type=4 payload-size=100\n"
      "entry uuid=00000000-0000-0000-0000-000000000002 type=7 payload-hex=0a0b\n"
      "entry uuid=00000000-0000-0000-0000-000000000003 type=0x84 rev=9 payload-hex=ff\n");
  TarneQuery disks{};
  disks.flags = kAnyAll & ~TARNE_QUERY_ANY_TYPE;
  disks.type = 4;
  alignas(8) uint8_t buffer[80] = {};
  auto *entry = reinterpret_cast<TarneEntry *>(buffer);

  ASSERT_EQ(TARNE_FindEntryForCluster(&disks, 0, entry, sizeof buffer, 0), 0u);
  EXPECT_EQ(entry->uuid.bytes[15], 1);
  EXPECT_EQ(entry->valueLen, 100u);  // whole length, payload cut to 16 bytes
  EXPECT_EQ(buffer[64], 'a');
  ASSERT_EQ(TARNE_FindEntryForCluster(&disks, 1, entry, sizeof buffer, 0), 0u);
  EXPECT_EQ(entry->uuid.bytes[15], 3);  // type byte 0x84 is type 4
  EXPECT_EQ(entry->revision, 9u);
  EXPECT_EQ(TARNE_FindEntryForCluster(&disks, 1, entry, sizeof buffer, 0), TARNE_STATUS_NOT_FOUND);
}

TEST(FakeFind, NextContinuesAfterAnExactReReadAndVanishedEntriesAreNotReRead) {
  UseScript(
      "entry uuid=00000000-0000-0000-0000-000000000001 type=4\n"
      "entry uuid=00000000-0000-0000-0000-000000000002 type=4 vanishes\n"
      "entry uuid=00000000-0000-0000-0000-000000000003 type=4\n");
  TarneQuery all{};
  all.flags = kAnyAll;
  alignas(8) uint8_t buffer[64] = {};
  auto *entry = reinterpret_cast<TarneEntry *>(buffer);
  ASSERT_EQ(TARNE_FindEntryForCluster(&all, 0, entry, sizeof buffer, 0), 0u);

  TarneQuery exact{};
  exact.owner = entry->owner;
  exact.uuid = entry->uuid;
  exact.type = 4;
  ASSERT_EQ(TARNE_FindEntryForCluster(&exact, 0, entry, sizeof buffer, 0), 0u);
  ASSERT_EQ(TARNE_FindEntryForCluster(&all, 1, entry, sizeof buffer, 0), 0u);
  EXPECT_EQ(entry->uuid.bytes[15], 2);

  exact.uuid = entry->uuid;
  EXPECT_EQ(TARNE_FindEntryForCluster(&exact, 0, entry, sizeof buffer, 0), TARNE_STATUS_NOT_FOUND);
}

TEST(FakeForEach, VisitsOnTheCallersThreadAndFailsAfterTheScriptedCount) {
  UseScript(
      "entry type=4 repeat=3\n"
      "foreach after=2 status=0x0BAD0001\n");
  struct Seen {
    int count = 0;
    std::thread::id thread;
  } seen;
  TarneQuery all{};
  all.flags = kAnyAll;
  const auto visit = [](void *context, const TarneEntry *, uint32_t length, OlvaUUID) -> int32_t {
    auto *s = static_cast<Seen *>(context);
    s->thread = std::this_thread::get_id();
    EXPECT_EQ(length, 64u);
    return ++s->count, 0;
  };
  EXPECT_EQ(TARNE_ForEachEntryForCluster(&all, visit, &seen, 0, 0, 0), TARNE_STATUS_FAILURE);
  EXPECT_EQ(seen.count, 2);
  EXPECT_EQ(seen.thread, std::this_thread::get_id());
}

TEST(FakeRequests, CompleteOnAnotherThreadOrAreRefusedAtOnce) {
  UseScript(
      "delete nth=2 complete=0x0BAD0001\n"
      "add refuse=0x0BAD0040\n");
  TarneEntry header{};
  Callbacks callbacks;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(TARNE_DeleteEntryForCluster(&header, OnUpdate, &callbacks, OlvaUUID{}), 0u);
  }
  EXPECT_EQ(TARNE_AddEntryForCluster(&header, OnUpdate, &callbacks, OlvaUUID{}), 0x0BAD0040u);
  callbacks.WaitFor(3);
  TARNE_Deinitialize(1);
  ASSERT_EQ(callbacks.statuses.size(), 3u);  // the refused add never completes
  EXPECT_EQ(callbacks.statuses, (std::vector<PEK_ReturnStatus>{0, TARNE_STATUS_FAILURE, 0}));
  for (std::thread::id id : callbacks.threads) EXPECT_NE(id, std::this_thread::get_id());
}

TEST(FakeRemoteFind, DeliversTheOwnersResultsThenAnEndWithoutHeader) {
  UseScript(
      "entry owner=0000000a-0000-0000-0000-000000000000 type=47 repeat=2\n"
      "entry owner=0000000b-0000-0000-0000-000000000000 type=47\n"
      "remotefind end=0x0BAD0021\n");
  TarneRemoteFindRequest request{};
  request.owner.bytes[3] = 0x0a;
  request.type = 47;
  Callbacks callbacks;
  ASSERT_EQ(TARNE_RemoteFindEntry(&request, 5, OnRemoteResult, &callbacks), 0u);
  callbacks.WaitFor(3);
  TARNE_Deinitialize(1);
  EXPECT_EQ(callbacks.statuses, (std::vector<PEK_ReturnStatus>{0, 0, TARNE_STATUS_TIMEOUT}));
  EXPECT_EQ(callbacks.hadHeader, (std::vector<bool>{true, true, false}));
  EXPECT_NE(callbacks.threads[0], std::this_thread::get_id());
}

TEST(FakeExpressions, MembershipScansToItsElementCountAndMembers) {
  UseScript(
      "self uuid=0000000a-0000-0000-0000-000000000000\n"
      "membership members=self,0000000b-0000-0000-0000-000000000000 elements=4 a=7\n");
  TarneQuery membership{};
  membership.flags = kAnyAll & ~TARNE_QUERY_ANY_TYPE;
  membership.type = 14;
  alignas(8) uint8_t buffer[1024] = {};
  auto *entry = reinterpret_cast<TarneEntry *>(buffer);
  ASSERT_EQ(TARNE_FindEntryForCluster(&membership, 0, entry, sizeof buffer, 0), 0u);
  const uint8_t *payload = buffer + 64;
  ASSERT_TRUE(OlvaExprScanner_IsValidExpr(payload, entry->valueLen));
  EXPECT_FALSE(OlvaExprScanner_IsValidExpr(payload, entry->valueLen - 1));

  uint32_t position = 0, elements = 0, a = 0, b = 0, count = 0;
  const void *nested = nullptr;
  const OlvaUUID *members = nullptr;
  ASSERT_EQ(OlvaExprScanner_GetArgs(payload, &position, "%E", &elements, &nested), 0u);
  EXPECT_EQ(elements, 4u);
  position = 0;
  ASSERT_EQ(OlvaExprScanner_GetArgs(nested, &position, "%u%u%U", &a, &b, &count, &members), 0u);
  EXPECT_EQ(a, 7u);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(members[0].bytes[3], 0x0a);
  EXPECT_EQ(members[1].bytes[3], 0x0b);
}

}  // namespace
