// Compares the compiled schema directory and type-to-schema table with the reference copies
// under tests/data, transcribed once from the schema list.
#include "tables/schemas.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::filesystem::path DataFile(const char *name) {
  return std::filesystem::path(__FILE__).parent_path() / ".." / "data" / name;
}

struct ReferenceField {
  std::string name;
  uint64_t kind;
  uint64_t offset;
};

struct ReferenceSchema {
  std::string name;
  bool isStyle;
  std::vector<ReferenceField> fields;
};

std::vector<ReferenceSchema> LoadDirectory() {
  std::ifstream in(DataFile("schema_directory.txt"));
  EXPECT_TRUE(in.good()) << DataFile("schema_directory.txt");
  std::vector<ReferenceSchema> schemas;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string tag;
    if (!(words >> tag) || tag[0] == '#') continue;
    if (tag == "schema" || tag == "style") {
      size_t index = 0;
      ReferenceSchema schema{"", tag == "style", {}};
      words >> index >> schema.name;
      EXPECT_EQ(index, schemas.size() + 1) << line;
      schemas.push_back(schema);
    } else if (tag == "field") {
      ReferenceField field;
      words >> field.name >> field.kind >> field.offset;
      EXPECT_FALSE(words.fail()) << line;
      EXPECT_FALSE(schemas.empty() || schemas.back().isStyle) << line;
      if (!schemas.empty()) schemas.back().fields.push_back(field);
    } else {
      ADD_FAILURE() << "unknown line: " << line;
    }
  }
  return schemas;
}

struct ReferenceType {
  std::string schema;
  bool hasNoDirectoryEntry;  // marked '*'
};

std::map<int, ReferenceType> LoadTypes() {
  std::ifstream in(DataFile("type_schemas.txt"));
  EXPECT_TRUE(in.good()) << DataFile("type_schemas.txt");
  std::map<int, ReferenceType> types;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    int type = 0;
    std::string typeName, schema, mark;
    words >> type >> typeName >> schema >> mark;
    types[type] = {schema, mark == "*"};
  }
  return types;
}

bool IsAllZero(const TarneFieldDescriptor &descriptor) {
  static constexpr std::array<unsigned char, sizeof(TarneFieldDescriptor)> kZero{};
  return std::memcmp(&descriptor, kZero.data(), kZero.size()) == 0;
}

std::set<std::string> DirectoryNames() {
  std::set<std::string> names;
  for (int i = 0; i < kSchemaDirectoryEntries; ++i) names.insert(TarneSchemaDirectory[i].name);
  return names;
}

TEST(SchemaDirectory, MatchesReferenceListEntryByEntry) {
  const std::vector<ReferenceSchema> reference = LoadDirectory();
  ASSERT_EQ(reference.size(), static_cast<size_t>(kSchemaDirectoryEntries));

  for (int i = 0; i < kSchemaDirectoryEntries; ++i) {
    const TarneSchemaDirEntry &entry = TarneSchemaDirectory[i];
    const ReferenceSchema &expected = reference[i];
    SCOPED_TRACE(expected.name);
    ASSERT_NE(entry.name, nullptr);
    EXPECT_STREQ(entry.name, expected.name.c_str());
    if (expected.isStyle) {
      EXPECT_EQ(entry.fields, nullptr);
      continue;
    }
    ASSERT_NE(entry.fields, nullptr);
    size_t n = 0;
    for (; n < expected.fields.size(); ++n) {
      const TarneFieldDescriptor &field = entry.fields[n];
      ASSERT_FALSE(IsAllZero(field)) << "table ends early at field " << n;
      EXPECT_STREQ(field.name, expected.fields[n].name.c_str());
      EXPECT_EQ(field.kind, expected.fields[n].kind) << expected.fields[n].name;
      EXPECT_EQ(field.offset, expected.fields[n].offset) << expected.fields[n].name;
      EXPECT_EQ(field.reserved0, 0u);
      for (uint64_t word : field.reserved1) EXPECT_EQ(word, 0u);
    }
    EXPECT_TRUE(IsAllZero(entry.fields[n])) << "no all-zero descriptor after field " << n;
  }
  EXPECT_EQ(TarneSchemaDirectory[kSchemaDirectoryEntries].name, nullptr);
  EXPECT_EQ(TarneSchemaDirectory[kSchemaDirectoryEntries].fields, nullptr);
}

TEST(SchemaDirectory, UsesOnlyTheKnownFieldKinds) {
  const std::set<uint64_t> known = {0, 1, 2, 3, 4, 10, 11, 21, 22, 23, 24, 29};
  for (int i = 0; i < kSchemaDirectoryEntries; ++i) {
    const TarneFieldDescriptor *fields = TarneSchemaDirectory[i].fields;
    for (int f = 0; fields != nullptr && !IsAllZero(fields[f]); ++f) {
      EXPECT_TRUE(known.contains(fields[f].kind))
          << TarneSchemaDirectory[i].name << "." << fields[f].name;
    }
  }
}

TEST(SchemaNames, FollowTheReferenceTableForEveryTypeByte) {
  const std::map<int, ReferenceType> reference = LoadTypes();
  ASSERT_EQ(reference.size(), 81u);  // types 3 to 83
  for (int type = 0; type < 128; ++type) {
    const auto row = reference.find(type);
    const std::string expected = row == reference.end() ? "NULL" : row->second.schema;
    SCOPED_TRACE(type);
    ASSERT_NE(Schema_NameForType(static_cast<uint8_t>(type)), nullptr);
    EXPECT_EQ(Schema_NameForType(static_cast<uint8_t>(type)), expected);
    // Bit 7 of the type byte is not part of the type.
    EXPECT_EQ(Schema_NameForType(static_cast<uint8_t>(type | 0x80)), expected);
  }
}

TEST(SchemaNames, MarkedNamesAloneLackADirectoryEntry) {
  const std::set<std::string> directory = DirectoryNames();
  int marked = 0;
  for (const auto &[type, row] : LoadTypes()) {
    if (row.schema == "NULL") continue;
    SCOPED_TRACE(type);
    EXPECT_EQ(directory.contains(row.schema), !row.hasNoDirectoryEntry) << row.schema;
    marked += row.hasNoDirectoryEntry ? 1 : 0;
  }
  EXPECT_EQ(marked, 15);
}

TEST(SchemaNames, TwentySchemasAreReachableByNameOnly) {
  std::set<std::string> named;
  for (int type = 0; type < 128; ++type)
    named.insert(Schema_NameForType(static_cast<uint8_t>(type)));
  int unnamed = 0;
  for (int i = 0; i < kSchemaDirectoryEntries; ++i) {
    if (!named.contains(TarneSchemaDirectory[i].name)) ++unnamed;
  }
  EXPECT_EQ(unnamed, 20);
}

TEST(SchemaNames, OnlyDiskHuxObjectPolicyAndConfigStatusArePlainOnly) {
  const std::set<int> plainOnly = {4, 13, 21, 23};
  for (int typeByte = 0; typeByte < 256; ++typeByte) {
    EXPECT_EQ(Schema_IsPlainOnlyType(static_cast<uint8_t>(typeByte)),
              plainOnly.contains(typeByte & 0x7F))
        << typeByte;
  }
}

}  // namespace
