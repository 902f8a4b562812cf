// Return status texts: the mapping rule at its boundaries, the table's shape, and Panic.
#include "status/status.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <string_view>

namespace {

TEST(StatusTextTest, MapsSuccessAndFixedRows) {
  EXPECT_STREQ(PEK_ReturnStatusToString(0), "Success");
  EXPECT_STREQ(PEK_ReturnStatusToString(TARNE_STATUS_FAILURE), "Failure");
  EXPECT_STREQ(PEK_ReturnStatusToString(TARNE_STATUS_NOT_FOUND), "Not found");
  EXPECT_STREQ(PEK_ReturnStatusToString(TARNE_STATUS_OUT_OF_MEMORY), "Out of memory");
  EXPECT_STREQ(PEK_ReturnStatusToString(TARNE_STATUS_TIMEOUT), "Timeout");
  EXPECT_STREQ(PEK_ReturnStatusToString(TARNE_STATUS_NOT_INITIALIZED), "Not initialized");
  EXPECT_STREQ(PEK_ReturnStatusToString(TARNE_STATUS_NO_CONNECTION), "No connection");
  EXPECT_STREQ(PEK_ReturnStatusToString(TARNE_STATUS_BUFFER_TOO_SMALL),
               "Buffer too small to complete the operation");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD002Du), "Already connected");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0068u), "Already connected");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0168u), "Invalid error code");
}

TEST(StatusTextTest, BareRowNumberMapsLikeItsCode) {
  EXPECT_STREQ(PEK_ReturnStatusToString(7), "Bad parameter");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0007u), "Bad parameter");
  for (uint32_t row = 1; row < kStatusRowCount; ++row) {
    EXPECT_EQ(PEK_ReturnStatusToString(row), PEK_ReturnStatusToString(0x0BAD0000u + row))
        << "row " << row;
    EXPECT_EQ(PEK_ReturnStatusToString(0x0BAD0000u + row), statusTexts[row]) << "row " << row;
  }
}

TEST(StatusTextTest, RowBoundaries) {
  EXPECT_STREQ(PEK_ReturnStatusToString(361), "Generic service console error");
  EXPECT_STREQ(PEK_ReturnStatusToString(362), "Unknown status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0000u), "Unknown status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD0169u), "Generic service console error");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x0BAD016Au), "Unknown status");
}

TEST(StatusTextTest, ServiceConsoleBoundary) {
  EXPECT_STREQ(PEK_ReturnStatusToString(0x2BACFFFFu), "Unknown status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0x2BAD0000u), "Opaque service console status");
  EXPECT_STREQ(PEK_ReturnStatusToString(0xFFFFFFFFu), "Opaque service console status");
}

TEST(StatusTextTest, EveryRowHasItsOwnText) {
  std::set<std::string_view> seen;
  for (int row = 0; row < kStatusRowCount; ++row) {
    ASSERT_NE(statusTexts[row], nullptr) << "row " << row;
    EXPECT_NE(statusTexts[row][0], '\0') << "row " << row;
    if (row == 104) continue;  // shares its text with row 45
    EXPECT_TRUE(seen.insert(statusTexts[row]).second)
        << "row " << row << " repeats an earlier text";
  }
  EXPECT_STREQ(statusTexts[104], statusTexts[45]);
}

TEST(PanicDeathTest, WritesTextAndNewlineThenAborts) {
  EXPECT_EXIT(Panic("fatal condition %d", 5), testing::KilledBySignal(SIGABRT),
              "^fatal condition 5\n$");
  EXPECT_EXIT(Panic("%s: %u", "disk", 17u), testing::KilledBySignal(SIGABRT), "^disk: 17\n$");
}

}  // namespace
