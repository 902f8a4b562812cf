// The library's expression encoding (docs/DIRECTORY.md, "Expression encoding"): a header that
// holds the element count and the total byte length, then tagged elements. Every reader here
// stays inside the bytes it is given.
#ifndef OLVALIB_DIRECTORY_EXPR_ENCODING_H
#define OLVALIB_DIRECTORY_EXPR_ENCODING_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "client/tarne_client.h"

namespace olva::expr {

inline constexpr uint8_t kMagic = 0xE5;
inline constexpr uint8_t kVersion = 1;
// magic, version, two reserved zero bytes, element count (u32 LE), total length (u32 LE)
inline constexpr size_t kHeaderSize = 12;
// Nesting deeper than this is refused, so that validation cannot exhaust the stack.
inline constexpr int kMaxDepth = 32;

enum class Kind : uint8_t {
  kU32 = 'u',     // 4 bytes LE
  kU64 = 'q',     // 8 bytes LE
  kUuids = 'U',   // count (u32 LE), then count UUIDs of 16 bytes
  kString = 's',  // byte length (u32 LE), then the bytes (no terminating NUL)
  kNested = 'E',  // a whole expression, header included
};

struct Header {
  uint32_t count = 0;
  uint32_t length = 0;
};

// The header at the start of bytes, when the magic, version and reserved bytes are right and
// the length lies between the header size and bytes.size().
std::optional<Header> ReadHeader(std::span<const uint8_t> bytes);
// The same checks, but the length only bounded below: for a scanner handed an expression
// without its length, which trusts that the expression was validated.
std::optional<Header> ReadHeaderAt(const uint8_t *bytes);

struct Element {
  Kind kind = Kind::kU32;
  uint64_t number = 0;              // kU32, kU64
  uint32_t count = 0;               // kUuids: UUIDs; kString: bytes; kNested: elements
  const OlvaUUID *uuids = nullptr;  // kUuids
  const char *text = nullptr;       // kString
  std::span<const uint8_t> nested;  // kNested: the nested expression, header included
};

// Decodes the element at offset of an expression whose bytes are exactly `expression`. The
// offset after it, or nothing when the element is malformed or does not fit. A nested
// expression's header is checked, not its elements.
std::optional<size_t> ReadElement(std::span<const uint8_t> expression, size_t offset,
                                  Element *element);

// True when bytes hold exactly one well-formed expression, nested ones included.
bool IsValidExpression(std::span<const uint8_t> bytes);

}  // namespace olva::expr

#endif  // OLVALIB_DIRECTORY_EXPR_ENCODING_H
