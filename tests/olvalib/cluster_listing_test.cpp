// What a listing on a cluster costs: a number of range reads that grows with its pages, not
// with its entries, however slowly the member answers; that it lists every entry, across a
// compaction too; and that a wait costs no reads while nothing changes.
#include <signal.h>

#include <atomic>
#include <thread>

#include "cluster_tool.h"

namespace olva::test {
namespace {

class EtcdClusterListingTest : public EtcdClusterOwnTest {
 protected:
  int Members() const override { return 1; }
  long RangeReads() { return StartedCalls("Range"); }
  // Entries 0 to count - 1 of one owner and type, their number in their UUIDs' last bytes.
  void AddListedEntries(uint32_t count) {
    constexpr uint32_t kChunk = 2000;
    for (uint32_t first = 0; first < count; first += kChunk) {
      std::vector<std::vector<uint8_t>> entries;
      for (uint32_t i = first; i < std::min(count, first + kChunk); ++i) {
        const OlvaUUID uuid{{0x71, 0, 0, 0, 0, 0, 0x40, 0, 0x80, 0, 0, 0, 0, uint8_t(i >> 16),
                             uint8_t(i >> 8), uint8_t(i)}};
        entries.push_back(MakeEntry(uuid, kOwner, 12, 1, "listed " + std::to_string(i)));
      }
      Completions done;
      for (std::vector<uint8_t> &entry : entries) {
        ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entry), &Completions::Callback, &done, {}), 0u);
      }
      for (const auto &[entry, status] : done.WaitFor(entries.size())) ASSERT_EQ(status, 0u);
    }
  }
};

// Freezes a process for 150 ms out of every 160 while it lives, so that nearly every request
// to it waits longer than a read-ahead page's freshness window; leaves it running.
class Stutter {
 public:
  explicit Stutter(pid_t pid)
      : thread_([this, pid] {
          while (!stop_) {
            kill(pid, SIGSTOP);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            kill(pid, SIGCONT);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~Stutter() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(EtcdClusterListingTest, ASlowMemberCostsAListingNoMoreReadsThanItsPages) {
  // About two and a half of the store's listing pages.
  constexpr uint32_t kEntries = 20000;
  ASSERT_NO_FATAL_FAILURE(AddListedEntries(kEntries));
  const pid_t member = MemberPids().at(0);
  ASSERT_GT(member, 0);
  const long before = RangeReads();
  ASSERT_GT(before, 0) << "no metrics";

  TarneQuery query = QueryAll();
  query.type = 12;
  query.flags &= uint8_t(~TARNE_QUERY_ANY_TYPE);
  std::vector<uint8_t> buffer(1024);
  uint32_t listed = 0;
  bool inOrder = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  {
    const Stutter stutter(member);
    for (int next = 0; std::chrono::steady_clock::now() < deadline &&
                       TARNE_FindEntryForCluster(&query, next, AsEntry(buffer), 1024, 0) == 0;
         next = 1) {
      const uint8_t *uuid = AsEntry(buffer)->uuid.bytes;
      inOrder = inOrder && (uint32_t(uuid[13]) << 16 | uuid[14] << 8 | uuid[15]) == listed;
      ++listed;
    }
  }
  const long reads = RangeReads() - before;
  std::printf("a listing of %u entries on a stuttering member: %ld range reads\n", listed, reads);
  EXPECT_EQ(listed, kEntries) << "in 60 s";
  EXPECT_TRUE(inOrder);
  // Three pages, a few reads each; one read per entry would make thousands.
  EXPECT_LE(reads, 40);

  // A member that stops answering for longer than a first read waits (a compaction of
  // millions of keys, an election) shortens no listing that has begun: to the caller a failed
  // read is the end of the matches.
  listed = 0;
  std::thread thaw;
  for (int next = 0; TARNE_FindEntryForCluster(&query, next, AsEntry(buffer), 1024, 0) == 0;
       next = 1) {
    if (++listed != kEntries / 2) continue;
    kill(member, SIGSTOP);
    thaw = std::thread([member] {
      std::this_thread::sleep_for(std::chrono::seconds(7));
      kill(member, SIGCONT);
    });
  }
  if (thaw.joinable()) thaw.join();
  EXPECT_EQ(listed, kEntries) << "across a member frozen for 7 s";
}

// An idle wait rests on a watch: the member sees no reads or transactions while it waits.
// A page of a listing is read in several requests at one revision. The history compacted
// past that revision between two of them must not end the listing there as if complete; a
// snapshot begins again, whole.
TEST_F(EtcdClusterListingTest, AnIdleWaitDoesNotPollAndACompactionShortensNoListingNorSnapshot) {
  TarneQuery awaited = QueryAll();
  awaited.type = 8;
  awaited.flags &= uint8_t(~TARNE_QUERY_ANY_TYPE);
  const long before = StartedCalls("(?:Range|Txn)");
  ASSERT_GT(before, 0) << "no metrics";
  EXPECT_EQ(TARNE_WaitForEntryForCluster(&awaited, 3, 0), TARNE_STATUS_TIMEOUT);
  const long during = StartedCalls("(?:Range|Txn)") - before;
  std::printf("reads and transactions during a 3 s idle wait: %ld\n", during);
  EXPECT_LT(during, 20) << "a wait that asks every 100 ms would make 30";

  constexpr uint32_t kEntries = 3000;  // several requests of one page
  ASSERT_NO_FATAL_FAILURE(AddListedEntries(kEntries));
  const std::string endpoints = Endpoints().at(0);
  std::string error;
  dir::DirectoryInfo info;
  const auto store = dir::BackendFor(location_).Open(location_, nodePath_, &info, &error);
  ASSERT_NE(store, nullptr) << error;
  // A change of another key moves the revision on; the compaction then drops the page's.
  const std::string compactPastThePage =
      "e=$0; etcdctl --endpoints=$e put listing-test-other x >/dev/null && "
      "etcdctl --endpoints=$e compact $(etcdctl --endpoints=$e get listing-test-other -w json |"
      " jq .header.revision) >/dev/null";
  uint32_t listed = 0;
  bool inOrder = true;
  const PEK_ReturnStatus status =
      store->Scan(dir::MatchCriteria{}, std::nullopt, UINT32_MAX, [&](const dir::RowView &row) {
        if (listed == 0) {
          EXPECT_EQ(RunProcess({"/bin/sh", "-c", compactPastThePage, endpoints}, {"ETCDCTL_API=3"}),
                    0);
        }
        const uint8_t *uuid = row.key.uuid.bytes;
        inOrder = inOrder && (uint32_t(uuid[13]) << 16 | uuid[14] << 8 | uuid[15]) == listed;
        ++listed;
        return true;
      });
  EXPECT_EQ(status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(listed, kEntries);
  EXPECT_TRUE(inOrder);

  // A snapshot (a dump, a check) needs one moment: it begins again at a later one, whole.
  uint32_t delivered = 0;
  int begunAgain = 0;
  const PEK_ReturnStatus snapshot = store->ReadSnapshot(
      [&](const dir::RowView &) {
        if (delivered++ == 0 && begunAgain == 0) {
          EXPECT_EQ(RunProcess({"/bin/sh", "-c", compactPastThePage, endpoints}, {"ETCDCTL_API=3"}),
                    0);
        }
        return true;
      },
      [&] {
        ++begunAgain;
        delivered = 0;
        return true;
      });
  EXPECT_EQ(snapshot, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(begunAgain, 1);
  EXPECT_EQ(delivered, kEntries);
}

}  // namespace
}  // namespace olva::test
