// What the test writer stores, so that a reader can tell a whole entry from a damaged one.
#ifndef TARNE_TESTS_OLVALIB_WRITER_PAYLOAD_H
#define TARNE_TESTS_OLVALIB_WRITER_PAYLOAD_H

#include <cstdint>
#include <span>
#include <vector>

#include "client/tarne_client.h"

namespace olva::test {

inline constexpr uint8_t kWriterType = 21;

inline OlvaUUID WriterUuid(uint8_t tag, uint32_t number) {
  OlvaUUID uuid{};
  uuid.bytes[0] = 0x77;
  uuid.bytes[1] = tag;
  uuid.bytes[6] = 0x40;
  for (int i = 0; i < 4; ++i) uuid.bytes[12 + i] = static_cast<uint8_t>(number >> (24 - 8 * i));
  return uuid;
}

// Between 9 and about 500 bytes: the length and a seed, then bytes that follow the seed.
inline std::vector<uint8_t> WriterPayload(uint32_t number, uint32_t round) {
  const uint32_t length = 9 + (number * 37 + round * 101) % 500;
  const auto seed = static_cast<uint8_t>(number * 7 + round);
  std::vector<uint8_t> payload(length);
  for (int i = 0; i < 4; ++i) payload[i] = static_cast<uint8_t>(length >> (8 * i));
  payload[4] = seed;
  for (uint32_t i = 5; i < length; ++i) payload[i] = static_cast<uint8_t>(seed + i);
  return payload;
}

inline bool IsWholeWriterPayload(std::span<const uint8_t> payload) {
  if (payload.size() < 5) return false;
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= static_cast<uint32_t>(payload[i]) << (8 * i);
  if (length != payload.size()) return false;
  for (uint32_t i = 5; i < length; ++i) {
    if (payload[i] != static_cast<uint8_t>(payload[4] + i)) return false;
  }
  return true;
}

}  // namespace olva::test

#endif  // TARNE_TESTS_OLVALIB_WRITER_PAYLOAD_H
