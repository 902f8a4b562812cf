// The status texts at the edges of their table, and Panic; the entry type and schema tables
// are proved by the listings that use them (the fake_find_conversion_outcomes case).
#include <gtest/gtest.h>

#include <csignal>

#include "status/status.h"

namespace {

TEST(StatusTexts, CodesAtTheEdgesOfTheTable) {
  EXPECT_STREQ(PEK_ReturnStatusToString(0), "Success");
  EXPECT_STREQ(PEK_ReturnStatusToString(7), "Bad parameter");  // a bare row number
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0007u), "Bad parameter");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0000u), "Unknown status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0068u), "Already connected");  // as row 45
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0168u), "Invalid error code");
  EXPECT_STREQ(PEK_ReturnStatusToString(361), "Generic service console error");
  EXPECT_STREQ(PEK_ReturnStatusToString(362), "Unknown status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD016Au), "Unknown status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x2BACFFFFu), "Unknown status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x2BAD0000u), "Opaque service console status");
}

TEST(PanicDeathTest, WritesTextAndNewlineThenAborts) {
  EXPECT_EXIT(Panic("%s: %u", "disk", 17u), testing::KilledBySignal(SIGABRT), "^disk: 17\n$");
}

}  // namespace
