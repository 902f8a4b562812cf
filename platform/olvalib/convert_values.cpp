#include "convert_values.h"

#include <arpa/inet.h>

#include <algorithm>
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

}  // namespace

void PutUnsigned(TextSink &sink, uint64_t value) {
  char *out = sink.Scratch(20);
  const std::to_chars_result result = std::to_chars(out, out + 20, value);
  sink.Commit(out, static_cast<size_t>(result.ptr - out));
}

void PutSigned(TextSink &sink, int64_t value) {
  char *out = sink.Scratch(20);
  const std::to_chars_result result = std::to_chars(out, out + 20, value);
  sink.Commit(out, static_cast<size_t>(result.ptr - out));
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
