// The constant tables at their boundaries and quirks only; the tables themselves are proved
// by the listings that use them.
#include <gtest/gtest.h>

#include <csignal>

#include "status/status.h"
#include "tables/entry_types.h"
#include "tables/schemas.h"

namespace {

TEST(EntryTypes, NamesUseTheLowSevenBitsAndLookupIsExact) {
  EXPECT_STREQ(EntryType_Name(0x92), "LOCK/SYMBOL");
  EXPECT_STREQ(EntryType_Name(0xD3), "WELM_PAUSED");
  for (uint8_t unnamed : {0x00, 0x80, 84, 127}) {
    EXPECT_STREQ(EntryType_Name(unnamed), "UNKNOWN ENTRY TYPE") << int{unnamed};
  }
  EXPECT_EQ(EntryType_FromName("SYMBOL"), std::optional<uint8_t>(18));
  EXPECT_EQ(EntryType_FromName("WELM_PAUSED"), std::optional<uint8_t>(83));
  for (const char *refused : {"LOCK/SYMBOL", "disk", "DISK ", "UNKNOWN ENTRY TYPE", ""}) {
    EXPECT_FALSE(EntryType_FromName(refused).has_value()) << refused;
  }
  EXPECT_STREQ(Health_Name(0xFF), "Healthy");
  EXPECT_STREQ(Health_Name(0xFD), "Unhealthy");
}

TEST(Schemas, TypeBitSevenIsIgnoredAndUnnamedTypesGetNull) {
  EXPECT_STREQ(Schema_NameForType(0x84), "TarneDiskEntry");
  EXPECT_STREQ(Schema_NameForType(83), "TarneWelmPaused");
  for (uint8_t unnamed : {0, 2, 84, 127}) EXPECT_STREQ(Schema_NameForType(unnamed), "NULL");
  for (int typeByte = 0; typeByte < 256; ++typeByte) {
    const int type = typeByte & 0x7F;
    EXPECT_EQ(Schema_IsPlainOnlyType(static_cast<uint8_t>(typeByte)),
              type == 4 || type == 13 || type == 21 || type == 23)
        << typeByte;
  }
}

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
