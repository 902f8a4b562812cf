// Updates: a full queue, a closing library that completes what was queued, and what one
// request's size does to the others and to the log.
#include <sys/mman.h>

#include <semaphore>
#include <thread>

#include "directory_fixture.h"

namespace olva::test {
namespace {

using UpdateTest = AnyBackendTest;
using SqliteUpdateTest = DirectoryTest;

// Holds the writer inside its first completion until released.
struct Gate {
  std::binary_semaphore entered{0}, release{0};
  Completions later;
};

int32_t HeldCompletion(void *context, TarneEntry *entry, uint32_t length, OlvaUUID cluster,
                       PEK_ReturnStatus status) {
  auto *gate = static_cast<Gate *>(context);
  gate->entered.release();
  gate->release.acquire();
  return Completions::Callback(&gate->later, entry, length, cluster, status);
}

TEST_P(UpdateTest, AFullQueueRefusesAtOnceAndClosingCompletesTheRest) {
  Gate gate;
  std::vector<uint8_t> first = MakeEntry(Uuid(7), kOwner, 3, 1, "");
  ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(first), HeldCompletion, &gate, OlvaUUID{}), 0u);
  gate.entered.acquire();
  // Adds of distinct entries: a cluster commits a batch of them in one transaction, so that
  // closing completes the queue in seconds (updates of one entry commit one by one).
  std::vector<std::vector<uint8_t>> more;
  for (unsigned i = 0; i < 5000; ++i) {
    OlvaUUID uuid = Uuid(8, uint8_t(i));
    uuid.bytes[14] = uint8_t(i >> 8);
    more.push_back(MakeEntry(uuid, kOwner, 3, 1, ""));
  }
  size_t queued = 0;
  PEK_ReturnStatus status = TARNE_STATUS_SUCCESS;
  for (; status == TARNE_STATUS_SUCCESS && queued < more.size(); queued += status == 0) {
    status = TARNE_AddEntryForCluster(AsEntry(more[queued]), &Completions::Callback, &gate.later,
                                      OlvaUUID{});
  }
  EXPECT_EQ(status, TARNE_STATUS_LIMIT_EXCEEDED);
  EXPECT_EQ(queued, 4096u);
  std::thread closing([this] { Close(); });
  gate.release.release();
  closing.join();  // returns once every queued request has completed
  const auto seen = gate.later.WaitFor(0);
  ASSERT_EQ(seen.size(), queued + 1);
  for (const auto &one : seen) EXPECT_EQ(one.second, TARNE_STATUS_SUCCESS);
}

// Requests of one batch go to the store together, except those that would disturb each
// other: on one row, or on an entry that an update or a wide deletion reads. Each has its
// own outcome.
TEST_P(UpdateTest, EachRequestOfABatchHasItsOwnOutcomeAndThoseOnOneEntryKeepTheirOrder) {
  Put(Uuid(0x31, 1), kOwner, 3, 1);
  Put(Uuid(0x31, 2), kOwner, 3, 1);
  Gate gate;
  std::vector<uint8_t> first = MakeEntry(Uuid(0x30), kOwner, 3, 1, "");
  ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(first), HeldCompletion, &gate, OlvaUUID{}), 0u);
  gate.entered.acquire();
  enum Kind { kAdd, kUpdate, kDelete };
  struct Step {
    Kind kind;
    std::vector<uint8_t> entry;
    PEK_ReturnStatus outcome;
  };
  const OlvaUUID x = Uuid(0x32, 1), y = Uuid(0x32, 2);
  std::vector<Step> steps;
  steps.push_back({kAdd, MakeEntry(x, kOwner, 3, 1, "a"), 0});
  steps.push_back({kDelete, MakeEntry(x, kOwner, 3, 1, ""), 0});  // that row
  steps.push_back({kAdd, MakeEntry(x, kOwner, 3, 1, "b"), 0});    // it again
  steps.push_back({kAdd, MakeEntry(x, kOwner, 3, 2, "c"), 0});
  steps.push_back({kDelete, MakeEntry(x, OlvaUUID{}, 3, 0, ""), 0});  // every row of x
  steps.push_back({kAdd, MakeEntry(x, kOwner, 3, 3, "d"), 0});
  steps.push_back({kAdd, MakeEntry(x, kOwner, 3, 3, "e"), TARNE_STATUS_ALREADY_EXISTS});
  for (uint64_t revision = 1; revision <= 3; ++revision) {
    steps.push_back({kAdd, MakeEntry(y, kOwner, 3, revision, "y"), 0});
  }
  steps.push_back({kUpdate, MakeEntry(y, kOwner, 3, 0, "newest"), 0});  // after all three
  steps.push_back({kAdd, MakeEntry(y, kOwner, 3, 4, "late"), TARNE_STATUS_ALREADY_EXISTS});
  for (uint8_t i = 10; i < 70; ++i)
    steps.push_back({kAdd, MakeEntry(Uuid(0x31, i), kOwner, 3, 1, "n"), 0});
  steps.push_back(
      {kAdd, MakeEntry(Uuid(0x31, 1), kOwner, 3, 1, "again"), TARNE_STATUS_ALREADY_EXISTS});
  steps.push_back({kDelete, MakeEntry(Uuid(0x31, 2), kOwner, 3, 1, ""), 0});
  steps.push_back({kDelete, MakeEntry(Uuid(0x31, 3), kOwner, 3, 1, ""), TARNE_STATUS_NOT_FOUND});
  for (Step &step : steps) {
    const auto request = step.kind == kAdd      ? TARNE_AddEntryForCluster
                         : step.kind == kUpdate ? TARNE_UpdateEntryForCluster
                                                : TARNE_DeleteEntryForCluster;
    ASSERT_EQ(request(AsEntry(step.entry), &Completions::Callback, &gate.later, {}), 0u);
  }
  gate.release.release();
  const auto seen = gate.later.WaitFor(steps.size() + 1);
  for (size_t i = 0; i < steps.size(); ++i) {
    const auto found = std::find_if(seen.begin(), seen.end(), [&](const auto &one) {
      return one.first == AsEntry(steps[i].entry);
    });
    ASSERT_NE(found, seen.end());
    EXPECT_EQ(found->second, steps[i].outcome) << "request " << i;
  }
  std::vector<std::string> stored;
  size_t distinct = 0;  // 0x31/1 and the sixty new ones
  std::vector<uint8_t> buffer(1024);
  for (const TarneEntry &header : ListAll(QueryAll())) {
    if (header.uuid.bytes[0] == 0x31 && ++distinct) continue;
    const TarneQuery exact = Exact(header);
    ASSERT_EQ(TARNE_FindEntryForCluster(&exact, 0, AsEntry(buffer), 1024, 0), 0u);
    stored.push_back(std::to_string(header.uuid.bytes[15]) + "/" + std::to_string(header.revision) +
                     " " + PayloadOf(AsEntry(buffer)));
  }
  EXPECT_EQ(stored, std::vector<std::string>({"0/1 ", "1/3 d", "2/4 newest"}));
  EXPECT_EQ(distinct, 61u);
}

TEST_P(UpdateTest, AnOversizePayloadFailsAloneAndItsBatchCommits) {
  // Past SQLite's limit on a row (10^9 bytes) and etcd's on a request. Only the header's page is
  // ever written: the library must refuse the payload without reading it.
  constexpr size_t kOversize = 1'000'000'001;
  void *block = mmap(nullptr, 64 + kOversize, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(block, MAP_FAILED);
  auto *oversize = static_cast<TarneEntry *>(block);
  std::vector<uint8_t> header = MakeEntry(Uuid(0x21), kOwner, 3, 1, "");
  *oversize = *AsEntry(header);
  oversize->valueLen = kOversize;
  std::vector<std::vector<uint8_t>> small;  // 40 queued before it, 40 after
  Completions done;
  PEK_ReturnStatus refused = TARNE_STATUS_SUCCESS;
  for (uint8_t i = 0; i <= 80; ++i) {
    small.push_back(MakeEntry(Uuid(0x22, i), kOwner, 3, 1, "s"));  // moving keeps the bytes
    TarneEntry *entry = i == 40 ? oversize : AsEntry(small.back());
    const PEK_ReturnStatus status =
        TARNE_AddEntryForCluster(entry, &Completions::Callback, &done, {});
    if (i == 40) refused = status;
  }
  for (const auto &[entry, status] : done.WaitFor(refused == TARNE_STATUS_SUCCESS ? 81 : 80)) {
    if (entry == oversize) {
      refused = status;
    } else {
      EXPECT_EQ(status, TARNE_STATUS_SUCCESS);
    }
  }
  EXPECT_EQ(refused, TARNE_STATUS_LIMIT_EXCEEDED);
  EXPECT_EQ(ListAll(QueryAll()).size(), 80u);
  munmap(block, 64 + kOversize);
}

TEST_F(SqliteUpdateTest, TheLogShrinksOnceALargeTransactionHasPassed) {
  const std::string payload(size_t{100} << 20, 'L');
  std::vector<uint8_t> large = MakeEntry(Uuid(0x23), kOwner, 3, 1, payload);
  ASSERT_EQ(Apply(TARNE_AddEntryForCluster, large), TARNE_STATUS_SUCCESS);
  ASSERT_EQ(Apply(TARNE_DeleteEntryForCluster, large), TARNE_STATUS_SUCCESS);
  EXPECT_LT(std::filesystem::file_size(path_ + "-wal"), 64u << 20) << "emptied after a large one";
  std::vector<uint8_t> small = MakeEntry(Uuid(0x24), kOwner, 3, 1, "small");
  ASSERT_EQ(Apply(TARNE_AddEntryForCluster, small), TARNE_STATUS_SUCCESS);
  EXPECT_LT(std::filesystem::file_size(path_ + "-wal"), 64u << 20);
}

// Updates of one entry, 900 in flight, from two processes at once (on a cluster, two hosts): each
// reads the latest revision and writes the next in one transaction, so none is lost, and none is
// refused: the SQLite file serialises them.
TEST_P(UpdateTest, UpdatesOfOneEntryAreNeitherLostNorRefused) {
  const auto revision = [] {
    TarneQuery query = QueryAll();
    query.type = 22;
    query.flags &= uint8_t(~TARNE_QUERY_ANY_TYPE);
    const std::vector<TarneEntry> rows = ListAll(query);
    EXPECT_EQ(rows.size(), 1u) << "older revisions are removed";
    return rows.empty() ? 0 : rows.back().revision;
  };
  int firstOut = -1, secondOut = -1;
  const pid_t first = StartProcess({TEST_WRITER_PATH, "shared", "300"}, &firstOut);
  const pid_t second =
      StartProcess({TEST_WRITER_PATH, "shared", "300"}, &secondOut, nullptr, OtherHost());
  const std::string said = ReadAll(firstOut);
  const std::string secondSaid = ReadAll(secondOut);
  EXPECT_EQ(WaitProcess(first, 120), 0) << said;
  EXPECT_EQ(WaitProcess(second, 120), 0) << secondSaid;
  EXPECT_EQ(revision(), 600u);
}

INSTANTIATE_TEST_SUITE_P(Backends, UpdateTest, kBothBackends, BackendName);

}  // namespace
}  // namespace olva::test
