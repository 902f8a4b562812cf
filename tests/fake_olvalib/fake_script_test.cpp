// The fake's script parsing, which every end-to-end case that uses the fake builds on: a
// mistyped script must stop the run, and a good one must mean what it says.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "client/tarne_status_codes.h"
#include "fake_state.h"

namespace {

TEST(FakeScript, RefusesWhatItDoesNotKnowNamingTheLine) {
  EXPECT_EQ(FakeOlva_UseScript("delay ms=1\nbogus\n"), "line 2: unknown directive: bogus");
  EXPECT_EQ(FakeOlva_UseScript("entry colour=blue"), "line 1: unknown word: colour");
  EXPECT_EQ(FakeOlva_UseScript("entry type=four"), "line 1: not a number: four");
  EXPECT_EQ(FakeOlva_UseScript("entry uuid=0000000a"), "line 1: not a uuid: 0000000a");
  EXPECT_EQ(FakeOlva_UseScript("convert text=\"open"), "line 1: unterminated quoted value");
  EXPECT_EQ(FakeOlva_UseScript("remotefind end=0"), "line 1: a search cannot end with 0");
}

TEST(FakeScript, ReadsCommentsQuotesNumbersAndRepeats) {
  ASSERT_EQ(FakeOlva_UseScript("# only a comment\n\n"
                               "  self uuid=0000000a-0000-0000-0000-000000000000  # trailing\n"
                               "entry uuid=00000000-0000-0000-0000-0000000000ff type=0x84 rev=9 "
                               "payload-text=\"a b # c\" repeat=2\n"
                               "entry uuid=00000000-0000-0000-0000-000000000001 type=4 vanishes\n"),
            "");
  TarneQuery disks{};
  disks.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION;
  disks.type = 4;
  alignas(8) uint8_t buffer[128] = {};
  auto *entry = reinterpret_cast<TarneEntry *>(buffer);
  for (const uint8_t tail : {0xff, 0x00}) {  // the copies' uuids count up, carrying
    ASSERT_EQ(TARNE_FindEntryForCluster(&disks, tail == 0xff ? 0 : 1, entry, sizeof buffer, 0), 0u);
    EXPECT_EQ(entry->uuid.bytes[15], tail);
    EXPECT_EQ(entry->uuid.bytes[14], tail == 0xff ? 0 : 1);
    EXPECT_EQ(entry->owner.bytes[3], 0x0a);
    EXPECT_EQ(entry->type, 0x84);
    EXPECT_EQ(entry->revision, 9u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer + 64), entry->valueLen), "a b # c");
  }
  ASSERT_EQ(TARNE_FindEntryForCluster(&disks, 1, entry, sizeof buffer, 0), 0u);
  // A vanishing entry is listed, but an exact lookup does not find it.
  TarneQuery exact{entry->owner, entry->uuid, {}, 0, 4, 0, {}};
  EXPECT_EQ(TARNE_FindEntryForCluster(&exact, 0, entry, sizeof buffer, 0), TARNE_STATUS_NOT_FOUND);
}

}  // namespace
