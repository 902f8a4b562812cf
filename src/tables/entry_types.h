// Names of entry types and health states.
#ifndef TARNE_TABLES_ENTRY_TYPES_H
#define TARNE_TABLES_ENTRY_TYPES_H

#include <cstdint>
#include <optional>

#include "client/tarne_client.h"

inline constexpr int kEntryTypeCount = 83;  // named types are 1..83
extern const char *const entryTypeNames[kEntryTypeCount + 1];

// The types the tool itself names; entry_types.cpp checks them against the table.
inline constexpr uint8_t kEntryTypeSubClusterMembership = 14;
inline constexpr uint8_t kEntryTypeSymbol = 18;  // printed as "LOCK/SYMBOL"
inline constexpr uint8_t kEntryTypeLocalSymbol = 47;

// The printed name of the low seven bits of a type byte ("LOCK/SYMBOL" for 18).
const char *EntryType_Name(uint8_t typeByte);
// The type whose table name equals text exactly, or nothing.
std::optional<uint8_t> EntryType_FromName(const char *text);
const char *Health_Name(uint8_t flag);

// The minimum host version as every printer and message shows it: 0 unless bit 7 of the
// type byte (hasMinHostVersion) says byte 42 carries one.
inline unsigned EntryType_ShownMinHostVersion(const TarneEntry &entry) {
  return (entry.type & 0x80) != 0 ? entry.minHostVersion : 0u;
}

#endif  // TARNE_TABLES_ENTRY_TYPES_H
