// Constant schema tables handed to the library's content converter.
#ifndef TARNE_TABLES_SCHEMAS_H
#define TARNE_TABLES_SCHEMAS_H

#include <cstdint>

#include "client/tarne_client.h"

inline constexpr int kSchemaDirectoryEntries = 67;  // 65 schemas and 2 styles
// 67 entries, then one whose name and fields are both null.
extern const TarneSchemaDirEntry TarneSchemaDirectory[kSchemaDirectoryEntries + 1];

// The schema or style name for a type byte (bit 7 ignored); "NULL" where none is named.
const char *Schema_NameForType(uint8_t typeByte);
// Types whose payloads are never obfuscated.
bool Schema_IsPlainOnlyType(uint8_t typeByte);

#endif  // TARNE_TABLES_SCHEMAS_H
