// Add, update and delete: their results, their completions, and deletions requested from
// inside an iteration with 900 of them in flight.
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>

#include "directory_fixture.h"

namespace olva::test {
namespace {

const OlvaUUID kOwner = Uuid(0x0a);
const OlvaUUID kOther = Uuid(0x0b);

TarneQuery ExactQuery(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type,
                      uint64_t revision) {
  TarneQuery query{};
  query.uuid = uuid;
  query.owner = owner;
  query.type = type;
  query.revision = revision;
  return query;
}

TarneQuery RevisionsOf(const OlvaUUID &uuid, uint8_t type) {
  TarneQuery query = QueryAll();
  query.uuid = uuid;
  query.type = type;
  query.flags &= static_cast<uint8_t>(~(TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_TYPE));
  return query;
}

using UpdateTest = DirectoryTest;

TEST_F(UpdateTest, AddStoresItsRevisionOnceOnly) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(1), kOwner, 3, 4, "payload");
  ASSERT_EQ(Add(entry), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(Add(entry), TARNE_STATUS_ALREADY_EXISTS);
  const std::vector<TarneEntry> found = ListAll(ExactQuery(Uuid(1), kOwner, 3, 4));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].valueLen, 7u);
}

TEST_F(UpdateTest, AddOfAnEmptyPayloadAndOfRevisionZero) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(1), kOwner, 3, 0, "");
  ASSERT_EQ(Add(entry), TARNE_STATUS_SUCCESS);
  const std::vector<TarneEntry> found = ListAll(ExactQuery(Uuid(1), kOwner, 3, 0));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].valueLen, 0u);
}

TEST_F(UpdateTest, UpdateStoresTheNextRevisionAndDropsOlderOnes) {
  std::vector<uint8_t> first = MakeEntry(Uuid(2), kOwner, 3, 0, "one");
  ASSERT_EQ(Update(first), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(AsEntry(first)->revision, 1u);  // the caller learns the stored revision

  std::vector<uint8_t> fifth = MakeEntry(Uuid(2), kOwner, 3, 5, "five");
  ASSERT_EQ(Add(fifth), TARNE_STATUS_SUCCESS);
  std::vector<uint8_t> next = MakeEntry(Uuid(2), kOwner, 3, 0, "six");
  ASSERT_EQ(Update(next), TARNE_STATUS_SUCCESS);

  const std::vector<TarneEntry> found = ListAll(RevisionsOf(Uuid(2), 3));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].revision, 6u);
  std::vector<uint8_t> buffer(128);
  TarneQuery query = ExactQuery(Uuid(2), kOwner, 3, 6);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 128, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(PayloadOf(AsEntry(buffer)), "six");
}

TEST_F(UpdateTest, UpdateKeepsOtherOwnersAndTypes) {
  std::vector<uint8_t> mine = MakeEntry(Uuid(3), kOwner, 3, 1, "");
  std::vector<uint8_t> theirs = MakeEntry(Uuid(3), kOther, 3, 1, "");
  std::vector<uint8_t> otherType = MakeEntry(Uuid(3), kOwner, 4, 1, "");
  ASSERT_EQ(Add(mine), TARNE_STATUS_SUCCESS);
  ASSERT_EQ(Add(theirs), TARNE_STATUS_SUCCESS);
  ASSERT_EQ(Add(otherType), TARNE_STATUS_SUCCESS);
  std::vector<uint8_t> update = MakeEntry(Uuid(3), kOwner, 3, 0, "");
  ASSERT_EQ(Update(update), TARNE_STATUS_SUCCESS);
  TarneQuery query = QueryAll();
  query.uuid = Uuid(3);
  query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_UUID);
  EXPECT_EQ(ListAll(query).size(), 3u);
}

TEST_F(UpdateTest, DeleteByRevisionByOwnerOrAll) {
  for (uint64_t revision : {1, 2, 3}) {
    std::vector<uint8_t> entry = MakeEntry(Uuid(4), kOwner, 3, revision, "");
    ASSERT_EQ(Add(entry), TARNE_STATUS_SUCCESS);
  }
  std::vector<uint8_t> other = MakeEntry(Uuid(4), kOther, 3, 1, "");
  ASSERT_EQ(Add(other), TARNE_STATUS_SUCCESS);

  std::vector<uint8_t> one = MakeEntry(Uuid(4), kOwner, 3, 2, "");
  EXPECT_EQ(Delete(one), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(Delete(one), TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(ListAll(RevisionsOf(Uuid(4), 3)).size(), 3u);

  std::vector<uint8_t> everyRevisionOfMine = MakeEntry(Uuid(4), kOwner, 3, 0, "");
  EXPECT_EQ(Delete(everyRevisionOfMine), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(ListAll(RevisionsOf(Uuid(4), 3)).size(), 1u);

  std::vector<uint8_t> anyOwner = MakeEntry(Uuid(4), OlvaUUID{}, 3, 0, "");
  EXPECT_EQ(Delete(anyOwner), TARNE_STATUS_SUCCESS);
  EXPECT_TRUE(ListAll(RevisionsOf(Uuid(4), 3)).empty());
  EXPECT_EQ(Delete(anyOwner), TARNE_STATUS_NOT_FOUND);
}

TEST_F(UpdateTest, CompletionRunsOnALibraryThreadWithTheCallersEntry) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(5), kOwner, 3, 1, "twelve bytes");
  Completions completions;
  ASSERT_EQ(
      TARNE_AddEntryForCluster(AsEntry(entry), &Completions::Callback, &completions, OlvaUUID{}),
      TARNE_STATUS_SUCCESS);
  ASSERT_TRUE(completions.WaitFor(1));
  const Completions::Seen seen = completions.Snapshot().at(0);
  EXPECT_EQ(seen.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(seen.entry, AsEntry(entry));
  EXPECT_EQ(seen.length, 64u + 12u);
  EXPECT_TRUE(SameUuid(seen.cluster, OlvaUUID{}));  // as the caller gave it
  EXPECT_NE(seen.thread, std::this_thread::get_id());
}

TEST_F(UpdateTest, RefusalsComeAtOnceWithoutCompletion) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(6), kOwner, 3, 1, "");
  Completions completions;
  EXPECT_EQ(
      TARNE_AddEntryForCluster(AsEntry(entry), &Completions::Callback, &completions, Uuid(0x99)),
      TARNE_STATUS_BAD_PARAMETER);
  EXPECT_EQ(TARNE_AddEntryForCluster(nullptr, &Completions::Callback, &completions, OlvaUUID{}),
            TARNE_STATUS_BAD_PARAMETER);
  ASSERT_EQ(TARNE_Deinitialize(handle_), TARNE_STATUS_SUCCESS);
  handle_ = -1;
  EXPECT_EQ(
      TARNE_DeleteEntryForCluster(AsEntry(entry), &Completions::Callback, &completions, OlvaUUID{}),
      TARNE_STATUS_NO_CONNECTION);
  EXPECT_TRUE(completions.Snapshot().empty());
}

TEST_F(UpdateTest, AnOversizePayloadFailsAloneAndItsBatchCommits) {
  // Past SQLite's limit on a row (10^9 bytes). Only the header's page is ever written: the
  // library must refuse the payload without reading it.
  constexpr size_t kOversize = 1'000'000'001;
  void *block = mmap(nullptr, 64 + kOversize, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(block, MAP_FAILED);
  const std::vector<uint8_t> header = MakeEntry(Uuid(0x21), kOwner, 3, 1, "");
  std::memcpy(block, header.data(), 64);
  auto *oversize = static_cast<TarneEntry *>(block);
  oversize->valueLen = kOversize;

  std::vector<std::vector<uint8_t>> small;
  for (uint16_t i = 0; i < 80; ++i) small.push_back(MakeEntry(Uuid(0x22, i), kOwner, 3, 1, "s"));
  Completions done;
  PEK_ReturnStatus refused = TARNE_STATUS_SUCCESS;
  for (size_t i = 0; i <= small.size(); ++i) {
    if (i == 40) {
      refused = TARNE_AddEntryForCluster(oversize, &Completions::Callback, &done, OlvaUUID{});
    } else {
      ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(small[i - (i > 40)]), &Completions::Callback,
                                         &done, OlvaUUID{}),
                TARNE_STATUS_SUCCESS);
    }
  }
  const size_t expected = refused == TARNE_STATUS_SUCCESS ? 81 : 80;
  ASSERT_TRUE(done.WaitFor(expected));
  for (const Completions::Seen &seen : done.Snapshot()) {
    if (seen.entry == oversize) {
      refused = seen.status;
    } else {
      EXPECT_EQ(seen.status, TARNE_STATUS_SUCCESS);
    }
  }
  EXPECT_EQ(refused, TARNE_STATUS_LIMIT_EXCEEDED);
  EXPECT_EQ(ListAll(QueryAll()).size(), 80u);
  munmap(block, 64 + kOversize);
}

TEST_F(UpdateTest, TheLogShrinksOnceALargeTransactionHasPassed) {
  constexpr uint32_t kLarge = 100'000'000;
  std::vector<uint8_t> large(64 + kLarge, 'L');
  const std::vector<uint8_t> header = MakeEntry(Uuid(0x23), kOwner, 3, 1, "");
  std::memcpy(large.data(), header.data(), 64);
  AsEntry(large)->valueLen = kLarge;
  ASSERT_EQ(Add(large), TARNE_STATUS_SUCCESS);
  ASSERT_EQ(Delete(large), TARNE_STATUS_SUCCESS);
  std::vector<uint8_t> small = MakeEntry(Uuid(0x24), kOwner, 3, 1, "small");
  ASSERT_EQ(Add(small), TARNE_STATUS_SUCCESS);
  struct stat log {};
  ASSERT_EQ(stat((Path() + "-wal").c_str(), &log), 0);
  EXPECT_LT(log.st_size, 64 << 20);
}

// Blocks the writer inside its first completion until released.
struct Gate {
  sem_t entered;
  sem_t release;
  Completions later;
};

int32_t BlockingCompletion(void *context, TarneEntry *entry, uint32_t length, OlvaUUID cluster,
                           PEK_ReturnStatus status) {
  auto *gate = static_cast<Gate *>(context);
  sem_post(&gate->entered);
  sem_wait(&gate->release);
  return Completions::Callback(&gate->later, entry, length, cluster, status);
}

TEST_F(UpdateTest, AFullQueueRefusesAtOnce) {
  Gate gate;
  sem_init(&gate.entered, 0, 0);
  sem_init(&gate.release, 0, 0);
  std::vector<uint8_t> first = MakeEntry(Uuid(7), kOwner, 3, 1, "");
  ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(first), BlockingCompletion, &gate, OlvaUUID{}), 0u);
  sem_wait(&gate.entered);

  std::vector<uint8_t> more = MakeEntry(Uuid(8), kOwner, 3, 0, "");
  size_t queued = 0;
  PEK_ReturnStatus status = TARNE_STATUS_SUCCESS;
  while (status == TARNE_STATUS_SUCCESS && queued < 100000) {
    status =
        TARNE_UpdateEntryForCluster(AsEntry(more), &Completions::Callback, &gate.later, OlvaUUID{});
    if (status == TARNE_STATUS_SUCCESS) ++queued;
  }
  EXPECT_EQ(status, TARNE_STATUS_LIMIT_EXCEEDED);
  EXPECT_GE(queued, 900u);
  sem_post(&gate.release);
  ASSERT_TRUE(gate.later.WaitFor(queued + 1));
  EXPECT_EQ(gate.later.Snapshot().size(), queued + 1);
  sem_destroy(&gate.entered);
  sem_destroy(&gate.release);
}

TEST_F(UpdateTest, DeinitializeCompletesEveryQueuedRequestFirst) {
  std::vector<std::vector<uint8_t>> entries;
  for (uint16_t i = 0; i < 500; ++i) entries.push_back(MakeEntry(Uuid(9, i), kOwner, 3, 1, "x"));
  Completions completions;
  for (auto &entry : entries) {
    ASSERT_EQ(
        TARNE_AddEntryForCluster(AsEntry(entry), &Completions::Callback, &completions, OlvaUUID{}),
        TARNE_STATUS_SUCCESS);
  }
  ASSERT_EQ(TARNE_Deinitialize(handle_), TARNE_STATUS_SUCCESS);
  handle_ = -1;
  const std::vector<Completions::Seen> seen = completions.Snapshot();
  ASSERT_EQ(seen.size(), 500u);
  for (const auto &one : seen) EXPECT_EQ(one.status, TARNE_STATUS_SUCCESS);
  ASSERT_EQ(TARNE_Initialize(1, 0, &handle_), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(ListAll(QueryAll()).size(), 500u);
}

// The delete command's pattern: the visitor takes one of 900 slots per deletion and blocks
// while none is free; completions give the slots back.
struct DeleteAll {
  sem_t slots;
  std::atomic<uint32_t> requested{0};
  std::atomic<uint32_t> completed{0};
  std::atomic<uint32_t> failed{0};
  std::atomic<uint32_t> mismatched{0};
};

int32_t DeletionDone(void *context, TarneEntry *entry, uint32_t length, OlvaUUID,
                     PEK_ReturnStatus status) {
  auto *state = static_cast<DeleteAll *>(context);
  // The entry is the iteration's: it must still be readable here.
  if (length != 64 + entry->valueLen || entry->valueLen != 40) ++state->mismatched;
  if (status != TARNE_STATUS_SUCCESS) ++state->failed;
  ++state->completed;
  sem_post(&state->slots);
  return 0;
}

int32_t RequestDeletion(void *context, const TarneEntry *entry, uint32_t, OlvaUUID cluster) {
  auto *state = static_cast<DeleteAll *>(context);
  sem_wait(&state->slots);
  ++state->requested;
  const PEK_ReturnStatus status =
      TARNE_DeleteEntryForCluster(const_cast<TarneEntry *>(entry), DeletionDone, state, cluster);
  if (status != TARNE_STATUS_SUCCESS)
    DeletionDone(state, const_cast<TarneEntry *>(entry), 64 + entry->valueLen, cluster, status);
  return 0;
}

TEST_F(UpdateTest, IterationWithNineHundredDeletionsInFlightDoesNotDeadlock) {
  constexpr uint32_t kEntries = 3000;
  Completions added;
  std::vector<std::vector<uint8_t>> entries;
  entries.reserve(kEntries);
  for (uint32_t i = 0; i < kEntries; ++i) {
    entries.push_back(MakeEntry(Uuid(0x40 + static_cast<uint8_t>(i % 3), static_cast<uint16_t>(i)),
                                kOwner, 3, 1, std::string(40, 'd')));
    ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entries.back()), &Completions::Callback, &added,
                                       OlvaUUID{}),
              TARNE_STATUS_SUCCESS);
  }
  ASSERT_TRUE(added.WaitFor(kEntries));

  DeleteAll state;
  sem_init(&state.slots, 0, 900);
  const TarneQuery all = QueryAll();
  ASSERT_EQ(TARNE_ForEachEntryForCluster(&all, RequestDeletion, &state, 0, 0, 0),
            TARNE_STATUS_SUCCESS);
  for (int i = 0; i < 2000 && state.completed < state.requested; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(state.requested.load(), kEntries);
  EXPECT_EQ(state.completed.load(), kEntries);
  EXPECT_EQ(state.failed.load(), 0u);
  EXPECT_EQ(state.mismatched.load(), 0u);
  EXPECT_TRUE(ListAll(QueryAll()).empty());
  sem_destroy(&state.slots);
}

struct Visit {
  std::vector<TarneEntry> headers;
  std::vector<OlvaUUID> clusters;
  size_t stopAfter = SIZE_MAX;
};

int32_t Record(void *context, const TarneEntry *entry, uint32_t length, OlvaUUID cluster) {
  auto *visit = static_cast<Visit *>(context);
  EXPECT_EQ(length, 64 + entry->valueLen);
  visit->headers.push_back(*entry);
  visit->clusters.push_back(cluster);
  return visit->headers.size() >= visit->stopAfter ? 1 : 0;
}

TEST_F(UpdateTest, IterationVisitsEveryMatchAcrossPagesInListingOrder) {
  Completions added;
  std::vector<std::vector<uint8_t>> entries;
  for (uint16_t i = 0; i < 700; ++i) {
    entries.push_back(MakeEntry(Uuid(0x70, i), kOwner, 3, 1, "v"));
    ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entries.back()), &Completions::Callback, &added,
                                       OlvaUUID{}),
              TARNE_STATUS_SUCCESS);
  }
  ASSERT_TRUE(added.WaitFor(700));
  Visit visit;
  const TarneQuery all = QueryAll();
  ASSERT_EQ(TARNE_ForEachEntryForCluster(&all, Record, &visit, 0, 0, 0), TARNE_STATUS_SUCCESS);
  const std::vector<TarneEntry> listed = ListAll(QueryAll());
  ASSERT_EQ(visit.headers.size(), 700u);
  ASSERT_EQ(listed.size(), 700u);
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(std::memcmp(&listed[i], &visit.headers[i], sizeof(TarneEntry)), 0);
    EXPECT_TRUE(SameUuid(visit.clusters[i], kClusterA));
  }

  Visit stopped;
  stopped.stopAfter = 3;
  ASSERT_EQ(TARNE_ForEachEntryForCluster(&all, Record, &stopped, 0, 0, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(stopped.headers.size(), 3u);
}

}  // namespace
}  // namespace olva::test
