#include "etcd_key_span.h"

#include <algorithm>
#include <string_view>

#include "etcd_keys.h"

namespace olva::dir::etcd {
namespace {

constexpr size_t kWindow = 2 * sizeof(uint64_t);  // hex digits
// A window's distance times a page's rows: up to 96 bits.
__extension__ typedef unsigned __int128 Wide;

// A byte's digit value, rising with the byte: one that is no hex digit takes the nearest
// digit's (a bound or a key read past, key + '\0', holds such bytes).
uint64_t DigitOf(char byte) {
  if (byte >= '0' && byte <= '9') return static_cast<uint64_t>(byte) - '0';
  if (byte >= 'a' && byte <= 'f') return static_cast<uint64_t>(byte) - 'a' + 10;
  if (byte < '0') return 0;
  return byte < 'a' ? 10 : 15;
}

// The sixteen digits of key from at on; missing digits count as zero.
uint64_t WindowOf(const std::string &key, size_t at) {
  uint64_t value = 0;
  for (size_t i = at; i < at + kWindow; ++i) {
    value = value << 4 | (i < key.size() ? DigitOf(key[i]) : 0u);
  }
  return value;
}

// Adds one to the hex number that ends before end; false when that carries past its first
// digit.
bool CarryInto(std::string &key, size_t end) {
  for (size_t i = end; i-- > 0;) {
    const size_t digit = kKeyDigits.find(key[i]);
    if (digit == std::string_view::npos) return false;
    if (digit != 15) {
      key[i] = kKeyDigits[digit + 1];
      return true;
    }
    key[i] = '0';
  }
  return false;
}

}  // namespace

KeyDensity MeasureDensity(const std::string &from, const std::string &to, uint32_t rows) {
  const size_t at = static_cast<size_t>(
      std::mismatch(from.begin(), from.end(), to.begin(), to.end()).first - from.begin());
  // Past their common prefix the later key's window is the larger one, unless they differ in
  // bytes that are no digits.
  const uint64_t start = WindowOf(from, at), end = WindowOf(to, at);
  if (rows == 0 || end <= start) return {};
  return {at, end - start, rows};
}

std::string KeyAfterRows(const std::string &from, const KeyDensity &density, uint32_t rows) {
  if (!density.Known()) return {};
  Wide step = static_cast<Wide>(density.distance) * rows / density.rows;
  size_t at = density.at;
  // A step wider than the window is taken in the digits before it, rounded down; one wider
  // than the hex part of the key is past every key.
  while (step > UINT64_MAX) {
    if (at == 0 || (at <= from.size() && kKeyDigits.find(from[at - 1]) == std::string_view::npos)) {
      return {};
    }
    step >>= 4;
    --at;
  }
  std::string key = from;
  key.resize(std::max(key.size(), at + kWindow), '0');
  const uint64_t start = WindowOf(key, at);
  const uint64_t add = std::max<uint64_t>(static_cast<uint64_t>(step), 1);
  uint64_t sum = 0;
  const bool carry = __builtin_add_overflow(start, add, &sum);
  key.resize(at + kWindow);
  for (size_t i = at + kWindow; i-- > at; sum >>= 4) key[i] = kKeyDigits[sum & 0xf];
  if (carry && !CarryInto(key, at)) return {};
  // A from with bytes past 'f' in the window may pass the sum: no bound then.
  if (key <= from) return {};
  return key;
}

}  // namespace olva::dir::etcd
