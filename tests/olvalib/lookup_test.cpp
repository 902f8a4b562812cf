// Lookups: the cursor that a next lookup continues from, sub-clusters and the re-read of an
// entry that did not fit, and changes seen while a listing reads ahead.
#include <thread>

#include "directory/uuid_util.h"
#include "directory_fixture.h"

namespace olva::test {
namespace {

const OlvaUUID kOwner = Uuid(0x0a);

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
  ASSERT_EQ(RunProcess({TEST_WRITER_PATH, "delete", dir::UuidToText(Uuid(0x90, 2)), "9"}), 0);
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

INSTANTIATE_TEST_SUITE_P(Backends, LookupTest, kBothBackends, BackendName);
INSTANTIATE_TEST_SUITE_P(Backends, TwoClusterLookupTest, kBothBackends, BackendName);

}  // namespace
}  // namespace olva::test
