// UUID values the directory gives a meaning to, and the few operations on them it needs.
#ifndef OLVALIB_DIRECTORY_UUID_UTIL_H
#define OLVALIB_DIRECTORY_UUID_UTIL_H

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "client/tarne_client.h"

namespace olva::dir {

// Stands for the node's own UUID wherever it is given as an owner.
inline constexpr OlvaUUID kSelfMarker{{0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr OlvaUUID kNullUuid{};

inline bool SameUuid(const OlvaUUID &a, const OlvaUUID &b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}
inline bool IsNullUuid(const OlvaUUID &uuid) {
  return SameUuid(uuid, kNullUuid);
}
inline int CompareUuid(const OlvaUUID &a, const OlvaUUID &b) {
  return std::memcmp(a.bytes, b.bytes, sizeof a.bytes);
}

// The self marker becomes the node's UUID; every other value stays as it is.
inline OlvaUUID ResolveOwner(const OlvaUUID &owner, const OlvaUUID &self) {
  return SameUuid(owner, kSelfMarker) ? self : owner;
}

// 36 lower-case characters, grouped 8-4-4-4-12.
std::string UuidToText(const OlvaUUID &uuid);
// Accepts exactly the 36-character grouped form, hex digits of either case.
std::optional<OlvaUUID> UuidFromText(std::string_view text);
// 16 bytes from the system's random source; nothing when it cannot be read.
std::optional<OlvaUUID> RandomUuid();

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_UUID_UTIL_H
