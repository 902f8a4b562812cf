// UUID values the directory gives a meaning to, and the few operations on them it needs.
#ifndef OLVALIB_DIRECTORY_UUID_UTIL_H
#define OLVALIB_DIRECTORY_UUID_UTIL_H

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "client/tarne_client.h"
#include "client/tarne_client_values.h"

namespace olva::dir {

// The directory's short names for the values the boundary fixes (the tool uses the same).
inline constexpr const OlvaUUID &kSelfMarker = kTarneUuidSelf;
inline constexpr const OlvaUUID &kNullUuid = kTarneUuidNull;

inline bool SameUuid(const OlvaUUID &a, const OlvaUUID &b) {
  return TarneUuid_Equal(a, b);
}
inline bool IsNullUuid(const OlvaUUID &uuid) {
  return TarneUuid_IsNull(uuid);
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
