// Shared helpers of the converter tests: a small directory with every field kind, a payload
// builder that lays bytes out by hand, and a converter call that guards the text buffer.
#ifndef TESTS_CONVERTER_CONVERTER_SUPPORT_H
#define TESTS_CONVERTER_CONVERTER_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

namespace converter_test {

constexpr TarneFieldDescriptor Field(uint64_t kind, uint64_t offset, const char *name) {
  return TarneFieldDescriptor{kind, offset, 0, name, {0, 0, 0, 0}};
}

// One field of every kind, in the layout the offsets below give.
inline constexpr TarneFieldDescriptor kAllKindsFields[] = {
    Field(0, 0, "u64"),    Field(1, 8, "u32"),    Field(2, 12, "flag"),   Field(4, 16, "uuid"),
    Field(11, 32, "ipv4"), Field(10, 36, "ipv6"), Field(22, 56, "str"),   Field(23, 64, "text"),
    Field(24, 72, "s64"),  Field(3, 80, "list"),  Field(29, 96, "addrs"), TarneFieldDescriptor{},
};
inline constexpr size_t kAllKindsSize = 112;
inline constexpr TarneFieldDescriptor kSymbolFields[] = {Field(21, 0, "value"), {}};
inline constexpr TarneFieldDescriptor kStringFields[] = {Field(22, 0, "s"), {}};
inline constexpr TarneFieldDescriptor kBadKindFields[] = {Field(5, 0, "odd"), {}};
inline constexpr TarneFieldDescriptor kNoFields[] = {{}};
inline constexpr TarneSchemaDirEntry kTestDirectory[] = {{"AllKinds", kAllKindsFields},
                                                         {"Symbol", kSymbolFields},
                                                         {"OneString", kStringFields},
                                                         {"BadKind", kBadKindFields},
                                                         {"Empty", kNoFields},
                                                         {"HuxStyle", nullptr},
                                                         {nullptr, nullptr}};

// Bytes laid out by hand, independent of the library's own encoder.
class Payload {
 public:
  explicit Payload(size_t fixedSize = 0) : bytes_(fixedSize, 0) {}
  Payload &U64(size_t at, uint64_t value) { return Raw(at, &value, 8); }
  Payload &Raw(size_t at, const void *data, size_t count) {
    Grow(at + count);
    std::memcpy(bytes_.data() + at, data, count);
    return *this;
  }
  // Appends the bytes (and a NUL for a string), returning where they start.
  uint64_t AppendString(std::string_view text) {
    const uint64_t at = bytes_.size();
    Grow(at + text.size() + 1);
    std::memcpy(bytes_.data() + at, text.data(), text.size());
    return at;
  }
  uint64_t Append(const std::vector<uint8_t> &more) {
    const uint64_t at = bytes_.size();
    Raw(at, more.data(), more.size());
    return at;
  }
  const std::vector<uint8_t> &bytes() const { return bytes_; }

 private:
  // Out of line: inlined into the tests, vector growth draws false bounds warnings from GCC.
  [[gnu::noinline]] void Grow(size_t size) {
    if (bytes_.size() < size) bytes_.resize(size, 0);
  }

  std::vector<uint8_t> bytes_;
};

inline std::vector<uint8_t> Uuid(uint8_t first) {
  std::vector<uint8_t> bytes(16);
  for (size_t i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(first + 0x11 * i);
  return bytes;
}

struct Result {
  PEK_ReturnStatus status;
  std::string text;
  uint32_t capacity;  // as the converter left it
};

using ConverterFn = PEK_ReturnStatus (*)(const void *, uint32_t, int32_t, char *, uint32_t *,
                                         const TarneSchemaDirEntry *, const char *, int32_t);

// Calls the converter with a buffer of exactly `capacity` bytes followed by a guard region
// (no buffer for 0: a size query), and fails the test if anything past the capacity was
// touched, or if a text that did not fit left the buffer other than empty.
inline Result Convert(ConverterFn converter, const std::vector<uint8_t> &payload,
                      const char *schemaName, bool structured, uint32_t capacity = 1 << 16,
                      const TarneSchemaDirEntry *directory = kTestDirectory) {
  constexpr size_t kGuard = 64;
  std::vector<char> buffer(capacity + kGuard, '\x5a');
  Result result{};
  result.capacity = capacity;
  result.status = converter(payload.data(), static_cast<uint32_t>(payload.size()), 1,
                            capacity != 0 ? buffer.data() : nullptr, &result.capacity, directory,
                            schemaName, structured ? 1 : 0);
  EXPECT_TRUE(
      std::all_of(buffer.begin() + capacity, buffer.end(), [](char c) { return c == '\x5a'; }))
      << "the converter wrote past the capacity of " << capacity;
  EXPECT_TRUE(result.status != TARNE_STATUS_BUFFER_TOO_SMALL || capacity == 0 || buffer[0] == 0);
  if (result.status == TARNE_STATUS_SUCCESS) {
    const auto nul = std::find(buffer.begin(), buffer.begin() + capacity, '\0');
    EXPECT_NE(nul, buffer.begin() + capacity) << "no NUL within the capacity";
    result.text.assign(buffer.begin(), nul);
    // Structured text must be strict RFC 8259 JSON, well-formed UTF-8 included.
    EXPECT_TRUE(!structured || nlohmann::json::accept(result.text)) << result.text;
  }
  return result;
}

inline Result Plain(const std::vector<uint8_t> &payload, const char *schemaName, bool structured,
                    uint32_t capacity = 1 << 16,
                    const TarneSchemaDirEntry *directory = kTestDirectory) {
  return Convert(OlvaExprConv_BinToText, payload, schemaName, structured, capacity, directory);
}

inline Result Masked(const std::vector<uint8_t> &payload, const char *schemaName, bool structured) {
  return Convert(OlvaExprConv_BinToTextObfuscated, payload, schemaName, structured);
}

}  // namespace converter_test

#endif  // TESTS_CONVERTER_CONVERTER_SUPPORT_H
