// The converter and the encoder under the tool's own schema directory.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "content/schemas.h"
#include "converter_support.h"
#include "field_codec.h"
#include "json_checker.h"

namespace converter_test {
namespace {

std::vector<std::string_view> Words(const std::string &text) {
  std::vector<std::string_view> words;
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t blank = rest.find(' ');
    words.push_back(rest.substr(0, blank));
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
  }
  return words;
}

TEST(ConverterDirectory, RendersAndReencodesEverySchema) {
  int schemas = 0;
  for (const TarneSchemaDirEntry *entry = TarneSchemaDirectory; entry->name != nullptr; ++entry) {
    if (entry->fields == nullptr) continue;
    ++schemas;
    std::vector<uint8_t> payload;
    std::string error;
    ASSERT_EQ(OlvaFields_Encode(TarneSchemaDirectory, entry->name, {}, &payload, &error),
              TARNE_STATUS_SUCCESS)
        << entry->name << ": " << error;
    const Result json = Plain(payload, entry->name, true, 1 << 16, TarneSchemaDirectory);
    ASSERT_EQ(json.status, TARNE_STATUS_SUCCESS) << entry->name;
    EXPECT_TRUE(testing_json::IsValidJson(json.text)) << json.text;
    const Result plain = Plain(payload, entry->name, false, 1 << 16, TarneSchemaDirectory);
    ASSERT_EQ(plain.status, TARNE_STATUS_SUCCESS) << entry->name;
    size_t fields = 0;
    while (entry->fields[fields].name != nullptr) ++fields;
    const std::vector<std::string_view> words = Words(plain.text);
    EXPECT_EQ(words.size(), fields) << entry->name << ": " << plain.text;
    std::vector<uint8_t> again;
    ASSERT_EQ(OlvaFields_Encode(TarneSchemaDirectory, entry->name, words, &again, &error),
              TARNE_STATUS_SUCCESS)
        << entry->name << ": " << error;
    EXPECT_EQ(again, payload) << entry->name;
  }
  EXPECT_EQ(schemas, 65);
}

TEST(ConverterDirectory, RendersADiskEntryAsTheAdministratorWroteIt) {
  const std::vector<std::string_view> assignments{"capacity=500107862016", "isSsd=true",
                                                  "devName=eui.0000000000000001",
                                                  "isMetaRedundancy=true", "dedupAddrRatio=3"};
  std::vector<uint8_t> payload;
  std::string error;
  ASSERT_EQ(
      OlvaFields_Encode(TarneSchemaDirectory, "TarneDiskEntry", assignments, &payload, &error),
      TARNE_STATUS_SUCCESS)
      << error;
  const Result plain = Plain(payload, "TarneDiskEntry", false, 1 << 16, TarneSchemaDirectory);
  ASSERT_EQ(plain.status, TARNE_STATUS_SUCCESS);
  EXPECT_EQ(plain.text.rfind("capacity=500107862016 iops=0 ", 0), 0u) << plain.text;
  for (const char *part : {" isSsd=true ", " volumeName= ", " devName=eui.0000000000000001 ",
                           " isEncrypted=false isMetaRedundancy=true dedupAddrRatio=3"}) {
    EXPECT_NE(plain.text.find(part), std::string::npos) << part << " in " << plain.text;
  }
  const Result json = Plain(payload, "TarneDiskEntry", true, 1 << 16, TarneSchemaDirectory);
  EXPECT_NE(json.text.find("\"devName\":\"eui.0000000000000001\""), std::string::npos);
  EXPECT_TRUE(testing_json::IsValidJson(json.text));
}

TEST(ConverterDirectory, RendersAZeroPayloadOfEveryType) {
  const std::vector<uint8_t> payload(300, 0);
  for (int type = 0; type < 128; ++type) {
    const char *name = Schema_NameForType(static_cast<uint8_t>(type));
    for (bool structured : {true, false}) {
      const Result r = Plain(payload, name, structured, 1 << 16, TarneSchemaDirectory);
      ASSERT_EQ(r.status, TARNE_STATUS_SUCCESS) << type << " " << name;
      if (structured) {
        EXPECT_TRUE(testing_json::IsValidJson(r.text)) << r.text;
      }
    }
  }
}

}  // namespace
}  // namespace converter_test
