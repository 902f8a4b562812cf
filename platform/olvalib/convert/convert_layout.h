// How each field kind lies in a payload: the one table shared by the converter that reads
// payloads and the field encoder that writes them.
#ifndef OLVALIB_CONVERT_LAYOUT_H
#define OLVALIB_CONVERT_LAYOUT_H

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "client/tarne_client_values.h"

namespace olva {

// The kind codes are the boundary's; the widths are how this converter lays them out.
using FieldKind = TarneFieldKind;

struct KindLayout {
  uint8_t code;
  uint8_t width;  // bytes the field takes at its offset; 0 for the trailing string
};

inline constexpr std::array<KindLayout, 12> kKindLayouts{{
    {TARNE_KIND_INT64, 8},
    {TARNE_KIND_INT32, 4},
    {TARNE_KIND_FLAG, 1},
    {TARNE_KIND_LIST, 16},  // u64 count, u64 offset of count UUIDs (16 bytes each)
    {TARNE_KIND_UUID, 16},
    {TARNE_KIND_IPV6, 16},
    {TARNE_KIND_IPV4, 4},
    {TARNE_KIND_TRAILING_STRING, 0},  // bytes from its offset to the first NUL or the end
    {TARNE_KIND_STRING, 8},           // u64 offset of a NUL-terminated string; 0 = absent
    {TARNE_KIND_TEXT, 8},
    {TARNE_KIND_INT64_ALT, 8},
    {TARNE_KIND_ADDRESS_LIST, 16},  // u64 count, u64 offset of count 16-byte IPv6 addresses
}};
static_assert(kKindLayouts.size() == 12);
static_assert(kKindLayouts[3].width == 16 && kKindLayouts[7].width == 0);

inline constexpr size_t kListEntryBytes = 16;

// Width of a known kind; false for a code no schema may carry.
constexpr bool KindWidth(uint64_t code, size_t *width) {
  for (const KindLayout &layout : kKindLayouts) {
    if (layout.code == code) {
      *width = layout.width;
      return true;
    }
  }
  return false;
}
static_assert([] {
  size_t width = 0;
  return KindWidth(TARNE_KIND_ADDRESS_LIST, &width) && width == 16 && !KindWidth(5, &width);
}());

// Payload integers are little-endian, the platform's own order.
static_assert(std::endian::native == std::endian::little);
inline uint64_t LoadU64(const uint8_t *bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}
inline uint32_t LoadU32(const uint8_t *bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}
inline void StoreU64(uint8_t *bytes, uint64_t value) {
  std::memcpy(bytes, &value, sizeof value);
}
inline void StoreU32(uint8_t *bytes, uint32_t value) {
  std::memcpy(bytes, &value, sizeof value);
}

// First bytes of an IPv4-mapped IPv6 address (::ffff:a.b.c.d).
inline constexpr std::array<uint8_t, 12> kIpv4MappedPrefix{0, 0, 0, 0, 0,    0,
                                                           0, 0, 0, 0, 0xff, 0xff};

}  // namespace olva

#endif  // OLVALIB_CONVERT_LAYOUT_H
