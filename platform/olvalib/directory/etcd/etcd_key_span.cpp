#include "etcd_key_span.h"

#include <algorithm>

namespace olva::dir::etcd {
namespace {

constexpr size_t kWindow = sizeof(uint64_t);
// A window's distance times a page's rows: up to 96 bits.
__extension__ typedef unsigned __int128 Wide;

// The eight bytes of key from at on, big-endian; missing bytes count as zero.
uint64_t WindowOf(const std::string &key, size_t at) {
  uint64_t value = 0;
  for (size_t i = at; i < at + kWindow; ++i) {
    value = value << 8 | (i < key.size() ? static_cast<uint8_t>(key[i]) : 0u);
  }
  return value;
}

}  // namespace

KeyDensity MeasureDensity(const std::string &from, const std::string &to, uint32_t rows) {
  const size_t at = static_cast<size_t>(
      std::mismatch(from.begin(), from.end(), to.begin(), to.end()).first - from.begin());
  // Past their common prefix the later key's window is the larger one.
  const uint64_t start = WindowOf(from, at), end = WindowOf(to, at);
  if (rows == 0 || end <= start) return {};
  return {at, end - start, rows};
}

std::string KeyAfterRows(const std::string &from, const KeyDensity &density, uint32_t rows) {
  if (!density.Known()) return {};
  Wide step = static_cast<Wide>(density.distance) * rows / density.rows;
  size_t at = density.at;
  // A step wider than the window is taken in the bytes before it, rounded down.
  while (step > UINT64_MAX) {
    if (at == 0) return {};
    step >>= 8;
    --at;
  }
  std::string key = from;
  key.resize(at + kWindow, '\0');
  unsigned carry = 0;
  uint64_t add = std::max<uint64_t>(static_cast<uint64_t>(step), 1);
  for (size_t i = key.size(); i-- > 0;) {
    const unsigned sum = static_cast<uint8_t>(key[i]) + static_cast<unsigned>(add & 0xff) + carry;
    key[i] = static_cast<char>(sum & 0xff);
    carry = sum >> 8;
    add >>= 8;
    if (add == 0 && carry == 0) return key;
  }
  return {};  // carried past the first byte
}

}  // namespace olva::dir::etcd
