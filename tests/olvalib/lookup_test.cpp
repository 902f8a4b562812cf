// Lookups: the cursor that a next lookup continues from, sub-clusters and the re-read of an
// entry that did not fit, and changes seen while a listing reads ahead.
#include <thread>

#include "directory/uuid_util.h"
#include "directory_fixture.h"

namespace olva::test {
namespace {

using LookupTest = AnyBackendTest;
using TwoClusterLookupTest = TwoClusterAnyBackendTest;

TEST_P(LookupTest, NextFollowsAnExactReReadAndADeletion) {
  for (uint8_t i = 0; i < 5; ++i) Put(Uuid(0x11, i), kOwner, 3, 1);
  std::vector<uint8_t> big = MakeEntry(Uuid(0x11, 9), kOwner, 3, 1, std::string(3000, 'b'));
  ASSERT_EQ(Apply(TARNE_AddEntryForCluster, big), TARNE_STATUS_SUCCESS);
  // The tool's listing: an entry that did not fit is re-read with an exact query into a larger
  // buffer, then the next one is asked for with the listing's query.
  const TarneQuery query = QueryAll();
  std::vector<uint8_t> buffer(1024);
  std::vector<uint8_t> seen;
  PEK_ReturnStatus status = TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 1024, 0);
  for (; status == TARNE_STATUS_SUCCESS;
       status = TARNE_FindEntryForCluster(&query, 1, AsEntry(buffer), uint32_t(buffer.size()), 0)) {
    const TarneEntry header = *AsEntry(buffer);
    seen.push_back(header.uuid.bytes[15]);
    if (sizeof(TarneEntry) + header.valueLen > buffer.size()) {
      buffer.resize(sizeof(TarneEntry) + header.valueLen);
      const TarneQuery exact = Exact(header);
      ASSERT_EQ(TARNE_FindEntryForCluster(&exact, 0, AsEntry(buffer), uint32_t(buffer.size()), 0),
                TARNE_STATUS_SUCCESS);
      EXPECT_EQ(PayloadOf(AsEntry(buffer)), std::string(3000, 'b'));
    }
    if (seen.size() == 2) {  // the entry in the buffer goes; the listing goes on after it
      std::vector<uint8_t> doomed = MakeEntry(header.uuid, header.owner, 3, 1, "");
      ASSERT_EQ(Apply(TARNE_DeleteEntryForCluster, doomed), TARNE_STATUS_SUCCESS);
    }
  }
  EXPECT_EQ(status, TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(seen, std::vector<uint8_t>({0, 1, 2, 3, 4, 9}));
}

TEST_P(LookupTest, AListingSeesChangesOfThisProcessAtOnceAndOfOthersSoon) {
  for (uint8_t i = 0; i < 10; ++i) Put(Uuid(0x90, uint8_t(2 * i)), kOwner, 9, 1);
  const TarneQuery query = QueryAll();
  std::vector<uint8_t> buffer(1024);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 1024, 0), 0u);
  Put(Uuid(0x90, 1), kOwner, 9, 1);  // right after the cursor, read ahead already
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, AsEntry(buffer), 1024, 0), 0u);
  EXPECT_EQ(AsEntry(buffer)->uuid.bytes[15], 1);
  // Removed by another process: seen once the read-ahead expired.
  ASSERT_EQ(
      RunProcess({TARNE_TOOL_PATH, "delete", "-u", dir::UuidToText(Uuid(0x90, 2)), "-t", "9"}), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, AsEntry(buffer), 1024, 0), 0u);
  EXPECT_EQ(AsEntry(buffer)->uuid.bytes[15], 4);
}

TEST_P(TwoClusterLookupTest, AllClustersListsEachRowOnceAndReReadsThatRow) {
  for (uint8_t i = 0; i < 3; ++i) {
    for (const auto &[cluster, name] : {std::pair{kClusterA, "A"}, std::pair{kClusterB, "B"}}) {
      std::vector<uint8_t> entry = MakeEntry(Uuid(0x60, i), kOwner, 47, 1, name);
      ASSERT_EQ(Apply(TARNE_AddEntryForCluster, entry, cluster), TARNE_STATUS_SUCCESS);
    }
  }
  TarneQuery query = QueryAll();
  EXPECT_EQ(ListAll(query).size(), 3u);  // all zero: the first server sub-cluster
  query.flags |= TARNE_QUERY_ALL_CLUSTERS;
  // The tool's way with a buffer too small for any payload: each entry is re-read with an
  // exact query (its cluster all zero), then the next is asked for with the listing's query.
  std::vector<uint8_t> buffer(64);
  std::string payloads;
  PEK_ReturnStatus status = TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 64, 0);
  while (status == TARNE_STATUS_SUCCESS && payloads.size() < 10) {
    std::vector<uint8_t> whole(64 + AsEntry(buffer)->valueLen);
    const TarneQuery exact = Exact(*AsEntry(buffer));
    ASSERT_EQ(TARNE_FindEntryForCluster(&exact, 0, AsEntry(whole), uint32_t(whole.size()), 0), 0u);
    payloads += PayloadOf(AsEntry(whole));
    status = TARNE_FindEntryForCluster(&query, 1, AsEntry(whole), uint32_t(whole.size()), 0);
    std::memcpy(buffer.data(), whole.data(), 64);
  }
  EXPECT_EQ(payloads, "ABABAB");
}

TEST_P(TwoClusterLookupTest, LatestRevisionsOfEveryOrderSurvivePageBoundaries) {
  // 400 entries with revisions 1 to 3 in sub-cluster A (1,200 rows, more than one read of the
  // store, whose boundaries fall inside an entry's rows) and revision 5 in B.
  constexpr int kEntries = 400;
  std::vector<std::vector<uint8_t>> entries;
  for (int i = 0; i < kEntries; ++i) {
    const OlvaUUID uuid{
        {0x70, uint8_t(i >> 8), 0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(i)}};
    for (uint64_t revision = 1; revision <= 3; ++revision) {
      entries.push_back(MakeEntry(uuid, kOwner, 29, revision, std::to_string(revision)));
    }
    entries.push_back(MakeEntry(uuid, kOwner, 29, 5, "b5"));
  }
  Completions done;
  for (size_t i = 0; i < entries.size(); ++i) {
    const OlvaUUID cluster = i % 4 == 3 ? kClusterB : kClusterA;
    ASSERT_EQ(TARNE_AddEntryForCluster(AsEntry(entries[i]), &Completions::Callback, &done, cluster),
              TARNE_STATUS_SUCCESS);
  }
  for (const auto &[entry, status] : done.WaitFor(entries.size())) ASSERT_EQ(status, 0u);

  // Served in the table's order (no owner nor type fixed), the owner's and the type's.
  for (const uint32_t fixed : {0u, 1u, 2u}) {
    TarneQuery query = QueryAll();
    query.flags |= TARNE_QUERY_LATEST_REVISION;
    if (fixed == 1) {
      query.flags &= ~TARNE_QUERY_ANY_OWNER;
      query.owner = kOwner;
    }
    if (fixed == 2) {
      query.flags &= ~TARNE_QUERY_ANY_TYPE;
      query.type = 29;
    }
    const std::vector<TarneEntry> inA = ListAll(query);
    ASSERT_EQ(inA.size(), size_t(kEntries)) << "fixed " << fixed;
    for (int i = 0; i < kEntries; ++i) {
      EXPECT_EQ(inA[i].uuid.bytes[15], uint8_t(i));
      EXPECT_EQ(inA[i].revision, 3u);
    }
    query.flags |= TARNE_QUERY_ALL_CLUSTERS;
    std::vector<uint64_t> revisions;
    for (const TarneEntry &header : ListAll(query)) revisions.push_back(header.revision);
    std::vector<uint64_t> expected;
    for (int i = 0; i < kEntries; ++i) expected.insert(expected.end(), {3, 5});
    EXPECT_EQ(revisions, expected) << "fixed " << fixed;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, LookupTest, kBothBackends, BackendName);
INSTANTIATE_TEST_SUITE_P(Backends, TwoClusterLookupTest, kBothBackends, BackendName);

}  // namespace
}  // namespace olva::test
