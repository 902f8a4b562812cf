// The key of one stored entry row and the byte form of its revision.
#ifndef OLVALIB_DIRECTORY_ENTRY_KEY_H
#define OLVALIB_DIRECTORY_ENTRY_KEY_H

#include <array>
#include <cstdint>
#include <span>

#include "client/tarne_client.h"

namespace olva::dir {

// An entry is (uuid, owner, type) at one revision in one sub-cluster.
struct EntryKey {
  OlvaUUID uuid{};
  OlvaUUID owner{};
  uint8_t type = 0;  // the low seven bits of the header's type byte
  uint64_t revision = 0;
  OlvaUUID cluster{};
};

inline constexpr uint8_t kTypeMask = 0x7f;

// Revisions are stored big-endian so that the database's byte-wise order of the column is
// the unsigned order of the numbers, for every 64-bit value.
using RevisionBytes = std::array<uint8_t, 8>;

inline RevisionBytes EncodeRevision(uint64_t revision) {
  RevisionBytes bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(revision >> (8 * (bytes.size() - 1 - i)));
  }
  return bytes;
}

inline uint64_t DecodeRevision(std::span<const uint8_t, 8> bytes) {
  uint64_t revision = 0;
  for (uint8_t byte : bytes) revision = revision << 8 | byte;
  return revision;
}

// The identity part of a header: what a caller's buffer tells about a row.
inline EntryKey KeyOfHeader(const TarneEntry &header) {
  EntryKey key;
  key.uuid = header.uuid;
  key.owner = header.owner;
  key.type = static_cast<uint8_t>(header.type & kTypeMask);
  key.revision = header.revision;
  return key;
}

// The header a row is stored with: the given one with the key's owner and revision, and the
// payload's length.
inline TarneEntry StoredHeader(const EntryKey &key, const TarneEntry &given, size_t valueLength) {
  TarneEntry header = given;
  header.owner = key.owner;
  header.revision = key.revision;
  header.valueLen = static_cast<uint32_t>(valueLength);
  return header;
}

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_ENTRY_KEY_H
