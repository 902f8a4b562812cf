#include "convert_values.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>

#include "convert_escape.h"
#include "convert_layout.h"

namespace olva {
namespace {

char *WriteHexByte(char *out, uint8_t byte) {
  out[0] = kHexDigits[byte >> 4];
  out[1] = kHexDigits[byte & 0x0f];
  return out + 2;
}

constexpr std::array<uint64_t, 20> MakePowersOfTen() {
  std::array<uint64_t, 20> powers{};
  uint64_t power = 1;
  for (uint64_t &p : powers) {
    p = power;
    power *= 10;
  }
  return powers;
}
constexpr std::array<uint64_t, 20> kPowersOfTen = MakePowersOfTen();

// Decimal digits of value, 0 having one: from its bit width (1233 / 4096 is just above
// log10 2) and one comparison, without the loop of divisions that the generic conversion
// spends on the length before it writes a digit.
size_t DecimalLength(uint64_t value) {
  const auto guess = static_cast<size_t>((std::bit_width(value | 1) * 1233) >> 12);
  return guess + 1 - static_cast<size_t>((value | 1) < kPowersOfTen[guess]);
}

// The eight decimal digits of value (below 10^8), leading zeros included, as ASCII in the
// bytes of the result from the lowest up: its halves, quarters and then single digits split
// side by side in the lanes of one word, by multiplying with reciprocals that are exact for
// these ranges. No branch depends on the value.
uint64_t EightDigits(uint64_t value) {
  const uint64_t high = value / 10000;
  uint64_t lanes = high | (value - high * 10000) << 32;  // 0..9999 in each 32-bit lane
  uint64_t quotients = ((lanes * 10486) >> 20) & 0x0000007F0000007FULL;  // lane / 100
  lanes = quotients | (lanes - quotients * 100) << 16;        // 0..99 in each 16-bit lane
  quotients = ((lanes * 103) >> 10) & 0x000F000F000F000FULL;  // lane / 10
  lanes = quotients | (lanes - quotients * 10) << 8;          // 0..9 in each byte
  return lanes | 0x3030303030303030ULL;
}

// Writes value in decimal at out, which has room for 20 bytes; returns the end. Below 10^16
// (every count and size a directory holds), the sixteen digits are made without a branch on
// the value and shifted past the leading zeros: number lengths vary from field to field, and
// a loop per digit pair mispredicts on nearly every number.
char *WriteDecimal(char *out, uint64_t value) {
  constexpr uint64_t kTenToTheEighth = 100000000;
  const size_t length = DecimalLength(value);
  if (value >= kTenToTheEighth * kTenToTheEighth) {
    char *at = out + length;
    for (; value >= 10; value /= 10) *--at = static_cast<char>('0' + value % 10);
    *--at = static_cast<char>('0' + value);
    return out + length;
  }
  __extension__ using Digits = unsigned __int128;
  const uint64_t high = value / kTenToTheEighth;
  Digits digits = EightDigits(high) | Digits{EightDigits(value - high * kTenToTheEighth)} << 64;
  digits >>= 8 * (16 - length);
  std::memcpy(out, &digits, sizeof digits);
  return out + length;
}

}  // namespace

void PutUnsigned(TextSink &sink, uint64_t value) {
  char *out = sink.Scratch(20);  // UINT64_MAX has 20 digits
  sink.Commit(out, static_cast<size_t>(WriteDecimal(out, value) - out));
}

void PutSigned(TextSink &sink, int64_t value) {
  char *const start = sink.Scratch(20);  // INT64_MIN has a sign and 19 digits
  char *out = start;
  auto magnitude = static_cast<uint64_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0 - magnitude;
  }
  sink.Commit(start, static_cast<size_t>(WriteDecimal(out, magnitude) - start));
}

void PutUuid(TextSink &sink, const uint8_t *bytes) {
  char *const start = sink.Scratch(36);
  char *out = start;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *out++ = '-';
    out = WriteHexByte(out, bytes[i]);
  }
  sink.Commit(start, 36);
}

void PutIpv4(TextSink &sink, const uint8_t *bytes) {
  char *const start = sink.Scratch(15);
  char *out = start;
  for (int i = 0; i < 4; ++i) {
    if (i != 0) *out++ = '.';
    out = std::to_chars(out, out + 3, bytes[i]).ptr;
  }
  sink.Commit(start, static_cast<size_t>(out - start));
}

void PutIpv6(TextSink &sink, const uint8_t *bytes) {
  char text[INET6_ADDRSTRLEN];
  // Sixteen bytes always have a text form; the call cannot fail with this buffer.
  if (inet_ntop(AF_INET6, bytes, text, sizeof text) == nullptr) text[0] = '\0';
  sink.Put(text, std::strlen(text));
}

void PutListAddress(TextSink &sink, const uint8_t *bytes) {
  if (std::equal(kIpv4MappedPrefix.begin(), kIpv4MappedPrefix.end(), bytes)) {
    PutIpv4(sink, bytes + kIpv4MappedPrefix.size());
  } else {
    PutIpv6(sink, bytes);
  }
}

void PutHex(TextSink &sink, const uint8_t *bytes, size_t count) {
  if (char *out = sink.Direct(2 * count)) {
    for (size_t i = 0; i < count; ++i) out = WriteHexByte(out, bytes[i]);
  }
  sink.Advance(2 * count);
}

}  // namespace olva
