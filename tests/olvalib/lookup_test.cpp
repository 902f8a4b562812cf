// Lookups through TARNE_FindEntryForCluster: the match flags, latest revisions, sub-clusters,
// the next-cursor and entries cut by a small buffer.
#include <cstring>
#include <set>
#include <thread>
#include <tuple>

#include "directory/entry_store.h"
#include "directory_fixture.h"

namespace olva::test {
namespace {

const OlvaUUID kOwnerX = Uuid(0x0a);
const OlvaUUID kOwnerY = Uuid(0x0b);
const OlvaUUID kU1 = Uuid(0x11);
const OlvaUUID kU2 = Uuid(0x12);

using Key = std::tuple<uint8_t, uint8_t, uint8_t, uint64_t>;  // uuid tag, owner tag, type, rev

std::multiset<Key> Keys(const std::vector<TarneEntry> &headers) {
  std::multiset<Key> keys;
  for (const TarneEntry &header : headers) {
    keys.insert({header.uuid.bytes[0], header.owner.bytes[0],
                 static_cast<uint8_t>(header.type & 0x7f), header.revision});
  }
  return keys;
}

class LookupTest : public DirectoryTest {
 protected:
  // u1/x/type 3 at revisions 1 and 2, u1/y/type 3 rev 1, u1/x/type 4 rev 7, u2/x/type 3 rev 5.
  void SetUp() override {
    DirectoryTest::SetUp();
    Put(kU1, kOwnerX, 3, 1);
    Put(kU1, kOwnerX, 3, 2);
    Put(kU1, kOwnerY, 3, 1);
    Put(kU1, kOwnerX, 4, 7);
    Put(kU2, kOwnerX, 3, 5);
  }

  static TarneQuery Exact(const OlvaUUID &uuid, const OlvaUUID &owner, uint8_t type,
                          uint64_t revision) {
    TarneQuery query{};
    query.uuid = uuid;
    query.owner = owner;
    query.type = type;
    query.revision = revision;
    return query;
  }
};

TEST_F(LookupTest, ExactQueryFindsOneRevision) {
  EXPECT_EQ(Keys(ListAll(Exact(kU1, kOwnerX, 3, 2))), (std::multiset<Key>{{0x11, 0x0a, 3, 2}}));
  EXPECT_TRUE(ListAll(Exact(kU1, kOwnerX, 3, 3)).empty());
}

TEST_F(LookupTest, EachWildcardAloneWidensOnlyItsField) {
  TarneQuery query = Exact(kU1, kOwnerX, 3, 1);
  query.flags = TARNE_QUERY_ANY_OWNER;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x11, 0x0a, 3, 1}, {0x11, 0x0b, 3, 1}}));

  query = Exact(kU1, kOwnerX, 3, 1);
  query.flags = TARNE_QUERY_ANY_REVISION;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x11, 0x0a, 3, 1}, {0x11, 0x0a, 3, 2}}));

  query = Exact(kU1, kOwnerX, 3, 7);
  query.flags = TARNE_QUERY_ANY_TYPE;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x11, 0x0a, 4, 7}}));

  query = Exact(kU1, kOwnerX, 3, 5);
  query.flags = TARNE_QUERY_ANY_UUID;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x12, 0x0a, 3, 5}}));
}

TEST_F(LookupTest, LatestRevisionIgnoresTheRevisionField) {
  TarneQuery query = Exact(kU1, kOwnerX, 3, 99);
  query.flags = TARNE_QUERY_LATEST_REVISION;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x11, 0x0a, 3, 2}}));

  query.flags = TARNE_QUERY_LATEST_REVISION | TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_TYPE;
  EXPECT_EQ(Keys(ListAll(query)),
            (std::multiset<Key>{{0x11, 0x0a, 3, 2}, {0x11, 0x0b, 3, 1}, {0x11, 0x0a, 4, 7}}));
}

TEST_F(LookupTest, CombinedWildcards) {
  TarneQuery query = QueryAll();
  EXPECT_EQ(ListAll(query).size(), 5u);

  query.owner = kOwnerX;
  query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_OWNER);
  EXPECT_EQ(ListAll(query).size(), 4u);

  query.type = 3;
  query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_TYPE);
  EXPECT_EQ(Keys(ListAll(query)),
            (std::multiset<Key>{{0x11, 0x0a, 3, 1}, {0x11, 0x0a, 3, 2}, {0x12, 0x0a, 3, 5}}));

  query.flags |= TARNE_QUERY_LATEST_REVISION;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x11, 0x0a, 3, 2}, {0x12, 0x0a, 3, 5}}));

  query = QueryAll();
  query.type = 3;
  query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_TYPE);
  EXPECT_EQ(ListAll(query).size(), 4u);
}

TEST_F(LookupTest, TypeComparesTheWholeQueryByteWithTheLowSevenBits) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(0x20), kOwnerX, 0x8e, 1, "with min host version");
  TarneEntry *header = AsEntry(entry);
  header->minHostVersion = 9;
  ASSERT_EQ(Add(entry), TARNE_STATUS_SUCCESS);

  TarneQuery query = Exact(Uuid(0x20), kOwnerX, 14, 1);
  const std::vector<TarneEntry> found = ListAll(query);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].type, 0x8e);  // the stored byte comes back whole
  EXPECT_EQ(found[0].minHostVersion, 9);
  query.type = 0x8e;
  EXPECT_TRUE(ListAll(query).empty());
}

TEST_F(LookupTest, SelfMarkerStandsForTheNodesOwnUuid) {
  Put(Uuid(0x30), kSelfMarker, 6, 1);
  TarneQuery query = Exact(Uuid(0x30), kSelfMarker, 6, 1);
  std::vector<TarneEntry> found = ListAll(query);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(SameUuid(found[0].owner, kSelf));
  query.owner = kSelf;
  EXPECT_EQ(ListAll(query).size(), 1u);
}

TEST_F(LookupTest, NoMatchIsNotFound) {
  TarneQuery query = Exact(Uuid(0x77), kOwnerX, 3, 1);
  uint8_t buffer[128];
  EXPECT_EQ(TARNE_FindEntryForCluster(&query, 0, reinterpret_cast<TarneEntry *>(buffer),
                                      sizeof buffer, 0),
            TARNE_STATUS_NOT_FOUND);
}

TEST_F(LookupTest, SmallBufferKeepsTheHeaderWholeAndCutsThePayload) {
  std::vector<uint8_t> entry = MakeEntry(Uuid(0x40), kOwnerX, 5, 1, std::string(2000, 'p'));
  ASSERT_EQ(Add(entry), TARNE_STATUS_SUCCESS);
  TarneQuery query = Exact(Uuid(0x40), kOwnerX, 5, 1);
  std::vector<uint8_t> buffer(100, 0xee);
  auto *found = reinterpret_cast<TarneEntry *>(buffer.data());
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, found, 80, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(found->valueLen, 2000u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer.data()) + 64, 16), std::string(16, 'p'));
  EXPECT_EQ(buffer[80], 0xee);  // nothing past the size given

  EXPECT_EQ(TARNE_FindEntryForCluster(&query, 0, found, 63, 0), TARNE_STATUS_BUFFER_TOO_SMALL);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, found, 64, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(found->valueLen, 2000u);
}

TEST_F(LookupTest, NextWalksEveryMatchOnceInOneOrder) {
  for (uint16_t i = 0; i < 50; ++i) Put(Uuid(0x50, static_cast<uint16_t>(49 - i)), kOwnerX, 9, 1);
  TarneQuery query = QueryAll();
  query.type = 9;
  query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_TYPE);
  const std::vector<TarneEntry> first = ListAll(query);
  ASSERT_EQ(first.size(), 50u);
  for (size_t i = 1; i < first.size(); ++i) {
    EXPECT_LT(first[i - 1].uuid.bytes[15], first[i].uuid.bytes[15]);
  }
  const std::vector<TarneEntry> again = ListAll(query);
  ASSERT_EQ(again.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i)
    EXPECT_EQ(again[i].uuid.bytes[15], first[i].uuid.bytes[15]);
}

TEST_F(LookupTest, NextFollowsAnExactReReadIntoALargerBuffer) {
  // The tool's listing: an entry that did not fit is re-read with an exact query, then the
  // next one is asked for with the original query.
  std::vector<uint8_t> big = MakeEntry(Uuid(0x11, 1), kOwnerX, 3, 1, std::string(3000, 'b'));
  ASSERT_EQ(Add(big), TARNE_STATUS_SUCCESS);
  TarneQuery query = QueryAll();
  std::vector<uint8_t> buffer(1024);
  std::set<Key> seen;
  PEK_ReturnStatus status = TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer),
                                                      static_cast<uint32_t>(buffer.size()), 0);
  int rereads = 0;
  while (status == TARNE_STATUS_SUCCESS) {
    TarneEntry *entry = AsEntry(buffer);
    if (sizeof(TarneEntry) + entry->valueLen > buffer.size()) {
      const TarneEntry header = *entry;
      buffer.resize(sizeof(TarneEntry) + header.valueLen);
      TarneQuery exact = Exact(header.uuid, header.owner, header.type & 0x7f, header.revision);
      ASSERT_EQ(TARNE_FindEntryForCluster(&exact, 0, AsEntry(buffer),
                                          static_cast<uint32_t>(buffer.size()), 0),
                TARNE_STATUS_SUCCESS);
      EXPECT_EQ(PayloadOf(AsEntry(buffer)), std::string(3000, 'b'));
      ++rereads;
    }
    entry = AsEntry(buffer);
    EXPECT_TRUE(seen.insert({entry->uuid.bytes[0] ^ entry->uuid.bytes[15], entry->owner.bytes[0],
                             entry->type, entry->revision})
                    .second);
    status = TARNE_FindEntryForCluster(&query, 1, entry, static_cast<uint32_t>(buffer.size()), 0);
  }
  EXPECT_EQ(status, TARNE_STATUS_NOT_FOUND);
  EXPECT_EQ(rereads, 1);
  EXPECT_EQ(seen.size(), 6u);
}

TEST_F(LookupTest, NextContinuesAfterTheCurrentEntryWasDeleted) {
  TarneQuery query = QueryAll();
  std::vector<uint8_t> buffer(1024);
  TarneEntry *entry = AsEntry(buffer);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, entry, 1024, 0), TARNE_STATUS_SUCCESS);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, entry, 1024, 0), TARNE_STATUS_SUCCESS);
  const TarneEntry second = *entry;

  std::vector<uint8_t> doomed =
      MakeEntry(second.uuid, second.owner, second.type, second.revision, "");
  ASSERT_EQ(Delete(doomed), TARNE_STATUS_SUCCESS);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, entry, 1024, 0), TARNE_STATUS_SUCCESS);
  size_t rest = 1;
  while (TARNE_FindEntryForCluster(&query, 1, entry, 1024, 0) == TARNE_STATUS_SUCCESS) ++rest;
  EXPECT_EQ(rest, 3u);  // five entries, two read before the deletion
}

TEST_F(LookupTest, AListingSeesChangesOfThisProcessAtOnceAndOfOthersSoon) {
  for (uint16_t i = 0; i < 10; ++i) Put(Uuid(0x90, static_cast<uint16_t>(2 * i)), kOwnerX, 9, 1);
  TarneQuery query = QueryAll();
  query.type = 9;
  query.flags &= static_cast<uint8_t>(~TARNE_QUERY_ANY_TYPE);
  std::vector<uint8_t> buffer(1024);
  TarneEntry *entry = AsEntry(buffer);
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 0, entry, 1024, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(entry->uuid.bytes[15], 0);

  Put(Uuid(0x90, 1), kOwnerX, 9, 1);  // right after the cursor
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, entry, 1024, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(entry->uuid.bytes[15], 1);

  // A deletion ahead of the cursor by another connection, as another process would make it,
  // is seen once the read-ahead has expired.
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, entry, 1024, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(entry->uuid.bytes[15], 2);
  const std::string other = Path();
  std::thread([other] {
    std::string error;
    auto connection = dir::Connection::Open(other, dir::Connection::OpenMode::kExisting, &error);
    ASSERT_NE(connection, nullptr);
    dir::EntryStore store(std::move(connection));
    ASSERT_TRUE(store.Begin());
    ASSERT_EQ(store.Remove(Uuid(0x90, 4), std::nullopt, 9, std::nullopt, kClusterA),
              TARNE_STATUS_SUCCESS);
    ASSERT_TRUE(store.Commit());
  }).join();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, entry, 1024, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(entry->uuid.bytes[15], 6);
}

TEST_F(LookupTest, NextFromAHeaderOfAnotherListingStartsAfterIt) {
  // The cursor is the header in the buffer, not a position kept by the library.
  TarneQuery query = QueryAll();
  std::vector<uint8_t> buffer = MakeEntry(kU1, kOwnerX, 3, 2, "");
  ASSERT_EQ(TARNE_FindEntryForCluster(&query, 1, AsEntry(buffer), 64, 0), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(Keys({*AsEntry(buffer)}), (std::multiset<Key>{{0x11, 0x0a, 4, 7}}));
}

TEST_F(TwoClusterTest, ZeroClusterMeansTheFirstServerCluster) {
  Put(kU1, kOwnerX, 3, 1, kClusterA);
  Put(kU2, kOwnerX, 3, 1, kClusterB);
  TarneQuery query = QueryAll();
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x11, 0x0a, 3, 1}}));
  query.cluster = kClusterB;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x12, 0x0a, 3, 1}}));
  query.cluster = Uuid(0xcc);
  EXPECT_TRUE(ListAll(query).empty());
  query.flags |= TARNE_QUERY_ALL_CLUSTERS;
  EXPECT_EQ(ListAll(query).size(), 2u);
}

TEST_F(TwoClusterTest, AllClustersListsOneEntryOncePerSubCluster) {
  for (uint16_t i = 0; i < 3; ++i) {
    for (const auto &[cluster, name] : {std::pair{kClusterA, "A"}, std::pair{kClusterB, "B"}}) {
      std::vector<uint8_t> entry = MakeEntry(Uuid(0x60, i), kOwnerX, 3, 1, name);
      ASSERT_EQ(Add(entry, cluster), TARNE_STATUS_SUCCESS);
    }
  }
  TarneQuery query = QueryAll();
  query.flags |= TARNE_QUERY_ALL_CLUSTERS;
  const std::vector<TarneEntry> found = ListAll(query);
  ASSERT_EQ(found.size(), 6u);
  for (size_t i = 0; i < found.size(); ++i) EXPECT_EQ(found[i].uuid.bytes[15], i / 2);

  // The tool's way with a buffer too small for any payload: each entry is re-read with an
  // exact query (its cluster all zero), then the next is asked for with the listing's query.
  // Both keep to the row that was listed.
  std::vector<uint8_t> buffer(64);
  std::string payloads;
  PEK_ReturnStatus status = TARNE_FindEntryForCluster(&query, 0, AsEntry(buffer), 64, 0);
  while (status == TARNE_STATUS_SUCCESS && payloads.size() < 10) {
    const TarneEntry header = *AsEntry(buffer);
    std::vector<uint8_t> whole(64 + header.valueLen);
    TarneQuery exact{};
    exact.uuid = header.uuid;
    exact.owner = header.owner;
    exact.type = header.type;
    exact.revision = header.revision;
    ASSERT_EQ(TARNE_FindEntryForCluster(&exact, 0, AsEntry(whole),
                                        static_cast<uint32_t>(whole.size()), 0),
              TARNE_STATUS_SUCCESS);
    payloads += PayloadOf(AsEntry(whole));
    status = TARNE_FindEntryForCluster(&query, 1, AsEntry(whole),
                                       static_cast<uint32_t>(whole.size()), 0);
    std::memcpy(buffer.data(), whole.data(), 64);
  }
  EXPECT_EQ(payloads, kClusterA.bytes[0] < kClusterB.bytes[0] ? "ABABAB" : "BABABA");
}

TEST_F(TwoClusterTest, LatestRevisionIsPerSubCluster) {
  Put(kU1, kOwnerX, 3, 5, kClusterA);
  Put(kU1, kOwnerX, 3, 2, kClusterB);
  Put(kU1, kOwnerX, 3, 1, kClusterB);
  TarneQuery query = QueryAll();
  query.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_TYPE |
                TARNE_QUERY_LATEST_REVISION | TARNE_QUERY_ALL_CLUSTERS;
  EXPECT_EQ(Keys(ListAll(query)), (std::multiset<Key>{{0x11, 0x0a, 3, 2}, {0x11, 0x0a, 3, 5}}));
}

TEST_F(TwoClusterTest, RemoteFindReadsAnyClusterWithFindEntryRF) {
  Put(kU1, kOwnerX, 47, 1, kClusterB);
  TarneQuery exact{};
  exact.uuid = kU1;
  exact.owner = kOwnerX;
  exact.type = 47;
  exact.revision = 1;
  std::vector<uint8_t> buffer(256);
  EXPECT_EQ(TARNE_FindEntryForCluster(&exact, 0, AsEntry(buffer), 256, 0), TARNE_STATUS_NOT_FOUND);
  ASSERT_EQ(TARNE_FindEntryRF(&exact, 0, AsEntry(buffer), 256), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(PayloadOf(AsEntry(buffer)), "entry 17/0 rev 1");
}

}  // namespace
}  // namespace olva::test
