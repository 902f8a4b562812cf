#include "convert_obfuscate.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "convert_escape.h"
#include "convert_layout.h"

namespace olva {
namespace {

struct SipState {
  uint64_t v0, v1, v2, v3;

  void Round() {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }
  void Absorb(uint64_t word) {
    v3 ^= word;
    Round();
    Round();
    v0 ^= word;
  }
};

// Any fixed 128 bits will do; these only separate our keys from other uses of the id.
constexpr SipKey kDerivationKey{0x7461726e652d6f62ULL, 0x66757363617465ffULL};
constexpr SipKey kFallbackKey{0x0f1e2d3c4b5a6978ULL, 0x8796a5b4c3d2e1f0ULL};

bool ReadMachineId(const char *path, uint8_t (&id)[64], size_t *length) {
  std::FILE *file = std::fopen(path, "re");
  if (file == nullptr) return false;
  *length = std::fread(id, 1, sizeof id, file);
  (void)std::fclose(file);  // read only: nothing to lose on a failed close
  while (*length != 0 && (id[*length - 1] == '\n' || id[*length - 1] == ' ')) --*length;
  return *length != 0;
}

SipKey DeriveHostKey() {
  uint8_t id[64];
  size_t length = 0;
  if (!ReadMachineId("/etc/machine-id", id, &length) &&
      !ReadMachineId("/var/lib/dbus/machine-id", id, &length)) {
    return kFallbackKey;
  }
  // The id itself is never the key: each half is a hash of it under a distinct key.
  SipKey second = kDerivationKey;
  second.k1 ^= 1;
  return SipKey{SipHash24(kDerivationKey, id, length), SipHash24(second, id, length)};
}

}  // namespace

uint64_t SipHash24(const SipKey &key, const uint8_t *bytes, size_t count) {
  SipState state{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
                 key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL};
  const size_t wholeWords = count / 8;
  for (size_t i = 0; i < wholeWords; ++i) state.Absorb(LoadU64(bytes + 8 * i));
  uint8_t tail[8] = {};
  if (count % 8 != 0) std::memcpy(tail, bytes + 8 * wholeWords, count % 8);
  tail[7] = static_cast<uint8_t>(count);
  state.Absorb(LoadU64(tail));
  state.v2 ^= 0xff;
  for (int i = 0; i < 4; ++i) state.Round();
  return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
}

const SipKey &HostObfuscationKey() {
  static const SipKey key = DeriveHostKey();  // thread-safe one-time initialisation
  return key;
}

Token MakeToken(std::string_view prefix, const SipKey &key, const uint8_t *bytes, size_t count) {
  Token token{};
  std::memcpy(token.text.data(), prefix.data(), 4);
  const uint64_t hash = SipHash24(key, bytes, count);
  for (size_t i = 0; i < kTokenHexDigits; ++i) {
    token.text[4 + i] = kHexDigits[(hash >> (60 - 4 * i)) & 0x0f];
  }
  return token;
}

}  // namespace olva
