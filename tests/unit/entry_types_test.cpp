#include "tables/entry_types.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// The reference list of type names, one "number NAME" per line.
std::filesystem::path NamesFile() {
  return std::filesystem::path(__FILE__).parent_path() / ".." / "data" / "entry_type_names.txt";
}

TEST(EntryTypes, TableMatchesTheReferenceList) {
  std::ifstream file(NamesFile());
  ASSERT_TRUE(file) << NamesFile();
  int number = 0;
  std::string name;
  int rows = 0;
  while (file >> number >> name) {
    ++rows;
    ASSERT_GE(number, 1);
    ASSERT_LE(number, kEntryTypeCount);
    EXPECT_STREQ(entryTypeNames[number], name.c_str()) << number;
    const std::optional<uint8_t> found = EntryType_FromName(name.c_str());
    ASSERT_TRUE(found.has_value()) << name;
    EXPECT_EQ(*found, number);
  }
  EXPECT_EQ(rows, kEntryTypeCount);
  EXPECT_EQ(entryTypeNames[0], nullptr);
}

TEST(EntryTypes, PrintedNamesUseTheLowSevenBits) {
  EXPECT_STREQ(EntryType_Name(0x92), "LOCK/SYMBOL");
  EXPECT_STREQ(EntryType_Name(18), "LOCK/SYMBOL");
  EXPECT_STREQ(EntryType_Name(0x80), "UNKNOWN ENTRY TYPE");
  EXPECT_STREQ(EntryType_Name(0x00), "UNKNOWN ENTRY TYPE");
  EXPECT_STREQ(EntryType_Name(84), "UNKNOWN ENTRY TYPE");
  EXPECT_STREQ(EntryType_Name(127), "UNKNOWN ENTRY TYPE");
  EXPECT_STREQ(EntryType_Name(0xD3), "WELM_PAUSED");
  EXPECT_STREQ(EntryType_Name(1), "SUB_CLUSTER");
}

TEST(EntryTypes, LookupIsWholeNameAndCaseSensitive) {
  EXPECT_EQ(EntryType_FromName("SYMBOL"), std::optional<uint8_t>(18));
  EXPECT_EQ(EntryType_FromName("CLUSTER"), std::optional<uint8_t>(2));
  EXPECT_FALSE(EntryType_FromName("LOCK/SYMBOL").has_value());
  EXPECT_FALSE(EntryType_FromName("disk").has_value());
  EXPECT_FALSE(EntryType_FromName("UNKNOWN ENTRY TYPE").has_value());
  EXPECT_FALSE(EntryType_FromName("DISK ").has_value());
  EXPECT_FALSE(EntryType_FromName("").has_value());
}

TEST(EntryTypes, HealthIsBitOneOfTheFlag) {
  EXPECT_STREQ(Health_Name(0x02), "Healthy");
  EXPECT_STREQ(Health_Name(0xFF), "Healthy");
  EXPECT_STREQ(Health_Name(0x00), "Unhealthy");
  EXPECT_STREQ(Health_Name(0xFD), "Unhealthy");
}

}  // namespace
