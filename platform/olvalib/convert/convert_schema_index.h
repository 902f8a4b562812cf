// Finds a schema by name in the directory the caller hands over, through an index built once
// per directory instead of a walk per conversion, and keeps each schema prepared for
// rendering: kinds checked, the fixed part's extent known, field keys written out.
#ifndef OLVALIB_CONVERT_SCHEMA_INDEX_H
#define OLVALIB_CONVERT_SCHEMA_INDEX_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "client/tarne_client.h"
#include "convert_layout.h"

namespace olva {

struct PreparedField {
  FieldKind kind;
  uint64_t offset;
  uint32_t jsonKey;  // where in PreparedSchema::keys: "name": (JSON-escaped)
  uint32_t jsonKeyLength;
  uint32_t plainKey;  // name=
  uint32_t plainKeyLength;
};

inline constexpr size_t kKeyPadding = 16;

struct PreparedSchema {
  const TarneSchemaDirEntry *entry;
  bool isStyle;     // no field table
  bool usable;      // every field's kind is known and its extent computable
  uint64_t extent;  // bytes the fields take from the payload's start
  std::vector<PreparedField> fields;
  std::string keys;  // ends with kKeyPadding zero bytes, for TextSink::PutPadded

  std::string_view JsonKey(const PreparedField &field) const {
    return std::string_view(keys).substr(field.jsonKey, field.jsonKeyLength);
  }
  std::string_view PlainKey(const PreparedField &field) const {
    return std::string_view(keys).substr(field.plainKey, field.plainKeyLength);
  }
};

// The first entry of the directory named `name`, or null when there is none. The directory
// is walked up to the entry whose name and fields are both null. Directories and their field
// tables are taken to be constant for the life of the process (the boundary's contract), so
// each directory is indexed once, keyed by its address. Safe to call from any thread.
const PreparedSchema *FindSchema(const TarneSchemaDirEntry *directory, const char *name);

}  // namespace olva

#endif  // OLVALIB_CONVERT_SCHEMA_INDEX_H
