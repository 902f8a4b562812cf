#include "convert_values.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>

#include "convert_layout.h"

namespace olva {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

char *WriteHexByte(char *out, uint8_t byte) {
  out[0] = kHexDigits[byte >> 4];
  out[1] = kHexDigits[byte & 0x0f];
  return out + 2;
}

constexpr std::array<char, 200> MakeDigitPairs() {
  std::array<char, 200> pairs{};
  for (size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}
constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

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

// Writes value in decimal at out, two digits at a time from the end; returns the end.
char *WriteDecimal(char *out, uint64_t value) {
  char *const end = out + DecimalLength(value);
  char *at = end;
  while (value >= 100) {
    at -= 2;
    std::memcpy(at, &kDigitPairs[2 * (value % 100)], 2);
    value /= 100;
  }
  if (value >= 10) {
    std::memcpy(at - 2, &kDigitPairs[2 * value], 2);
  } else {
    at[-1] = static_cast<char>('0' + value);
  }
  return end;
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
