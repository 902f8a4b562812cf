#include "record/uuid.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const OlvaUUID &uuid) {
  char text[kUuidTextLength + 1];
  Uuid_ToText(uuid, text);
  return text;
}

TEST(Uuid, ReservedNamesAreExactAndCaseSensitive) {
  OlvaUUID uuid{};
  ASSERT_TRUE(ParseUUID("OLVA_UUID_SELF", &uuid));
  EXPECT_EQ(Text(uuid), "00000002-0000-0000-0000-000000000000");
  ASSERT_TRUE(ParseUUID("OLVA_UUID_NULL", &uuid));
  EXPECT_TRUE(Uuid_IsNull(uuid));
  EXPECT_FALSE(ParseUUID("olva_uuid_self", &uuid));
  EXPECT_FALSE(ParseUUID("OLVA_UUID_SELF ", &uuid));
}

TEST(Uuid, ParsesEitherCaseAndPrintsLowerCaseInStorageOrder) {
  OlvaUUID uuid{};
  ASSERT_TRUE(ParseUUID("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9", &uuid));
  EXPECT_EQ(uuid.bytes[0], 0x0a);
  EXPECT_EQ(uuid.bytes[15], 0xf9);
  EXPECT_EQ(Text(uuid), "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
}

TEST(Uuid, IgnoresATailButNeedsAllSixteenBytes) {
  OlvaUUID uuid{};
  EXPECT_TRUE(ParseUUID("00112233-4455-6677-8899-aabbccddeeff-and-more", &uuid));
  EXPECT_EQ(uuid.bytes[15], 0xff);
  EXPECT_FALSE(ParseUUID("00112233-4455-6677-8899-aabbccddee", &uuid));
  EXPECT_FALSE(ParseUUID("00112233445566778899aabbccddeeff", &uuid));
  EXPECT_FALSE(ParseUUID("", &uuid));
}

TEST(Uuid, ExactQueryClearsEveryFlagAndMasksTheTypeBit) {
  TarneEntry header{};
  ASSERT_TRUE(ParseUUID("00112233-4455-6677-8899-aabbccddeeff", &header.uuid));
  header.owner = kUuidSelf;
  header.revision = 42;
  header.type = 0x8E;  // type 14 with hasMinHostVersion
  OlvaUUID cluster{};
  cluster.bytes[0] = 9;
  const TarneQuery query = MakeExactQuery(header, cluster);
  EXPECT_TRUE(Uuid_Equal(query.uuid, header.uuid));
  EXPECT_TRUE(Uuid_Equal(query.owner, kUuidSelf));
  EXPECT_TRUE(Uuid_Equal(query.cluster, cluster));
  EXPECT_EQ(query.revision, 42u);
  EXPECT_EQ(query.type, 14);
  EXPECT_EQ(query.flags, 0);
  for (uint8_t byte : query.reserved) EXPECT_EQ(byte, 0);
}

}  // namespace
