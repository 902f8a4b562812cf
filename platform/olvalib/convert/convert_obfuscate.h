// Stable tokens that stand for human-readable strings in obfuscated text: the same bytes
// give the same token on one host, and the bytes cannot be read back from it.
#ifndef OLVALIB_CONVERT_OBFUSCATE_H
#define OLVALIB_CONVERT_OBFUSCATE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace olva {

struct SipKey {
  uint64_t k0;
  uint64_t k1;
};

// SipHash-2-4 of the bytes under a 128-bit key.
uint64_t SipHash24(const SipKey &key, const uint8_t *bytes, size_t count);

// The host's key, derived once from /etc/machine-id (or /var/lib/dbus/machine-id); a
// fixed key when neither can be read, so tokens then stay stable but not host-specific.
const SipKey &HostObfuscationKey();

// "<prefix>" followed by the 16 lower-case hex digits of the bytes' keyed hash.
inline constexpr size_t kTokenHexDigits = 16;
struct Token {
  std::array<char, 4 + kTokenHexDigits> text;  // not NUL-terminated
  std::string_view View() const { return {text.data(), text.size()}; }
};
// prefix is four characters: "str-" for strings, "bin-" for raw bytes.
Token MakeToken(std::string_view prefix, const SipKey &key, const uint8_t *bytes, size_t count);

}  // namespace olva

#endif  // OLVALIB_CONVERT_OBFUSCATE_H
