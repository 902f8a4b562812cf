#include "uuid_util.h"

#include <sys/random.h>

#include <cerrno>

namespace olva::dir {
namespace {

constexpr std::array<size_t, 4> kDashPositions{8, 13, 18, 23};
constexpr size_t kTextLength = 36;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsDashPosition(size_t position) {
  for (size_t dash : kDashPositions) {
    if (dash == position) return true;
  }
  return false;
}

}  // namespace

std::string UuidToText(const OlvaUUID &uuid) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(kTextLength);
  for (size_t i = 0; i < sizeof uuid.bytes; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(kDigits[uuid.bytes[i] >> 4]);
    text.push_back(kDigits[uuid.bytes[i] & 0x0f]);
  }
  return text;
}

std::optional<OlvaUUID> UuidFromText(std::string_view text) {
  if (text.size() != kTextLength) return std::nullopt;
  OlvaUUID uuid{};
  size_t byte = 0;
  for (size_t i = 0; i < kTextLength;) {
    if (IsDashPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    uuid.bytes[byte++] = static_cast<uint8_t>(high << 4 | low);
    i += 2;
  }
  return uuid;
}

std::optional<OlvaUUID> RandomUuid() {
  OlvaUUID uuid{};
  size_t filled = 0;
  while (filled < sizeof uuid.bytes) {
    const ssize_t got = getrandom(uuid.bytes + filled, sizeof uuid.bytes - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    filled += static_cast<size_t>(got);
  }
  // Version 4, variant 1: the value reads as a random UUID to every tool that looks.
  uuid.bytes[6] = static_cast<uint8_t>((uuid.bytes[6] & 0x0f) | 0x40);
  uuid.bytes[8] = static_cast<uint8_t>((uuid.bytes[8] & 0x3f) | 0x80);
  return uuid;
}

}  // namespace olva::dir
