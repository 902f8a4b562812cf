#include "update/add_input.h"

#include <cstdlib>
#include <cstring>

#include "client/tarne_status_codes.h"

static_assert(kAddMaxCapacity % kAddInitialCapacity == 0 &&
                  ((kAddMaxCapacity / kAddInitialCapacity) &
                   (kAddMaxCapacity / kAddInitialCapacity - 1)) == 0,
              "doubling from the initial capacity must land exactly on the maximum");

PEK_ReturnStatus AddInput_Read(FILE *in, FILE *err, uint32_t maxCapacity, TarneEntry **entry) {
  *entry = nullptr;
  uint32_t capacity = kAddInitialCapacity;
  auto *block = static_cast<uint8_t *>(std::malloc(sizeof(TarneEntry) + capacity));
  if (block == nullptr) {
    (void)std::fputs("Failed to allocate memory for entry\n", err);
    return TARNE_STATUS_OUT_OF_MEMORY;
  }
  std::memset(block, 0, sizeof(TarneEntry));

  uint32_t length = 0;
  for (;;) {
    // fread keeps reading until the request is filled or the input ends, so a pipe that
    // delivers in pieces does not end the payload early.
    length += static_cast<uint32_t>(
        std::fread(block + sizeof(TarneEntry) + length, 1, capacity - length, in));
    if (length < capacity) break;
    if (capacity >= maxCapacity) {
      (void)std::fprintf(err,
                         "Standard input holds %u bytes or more; an entry's payload must be "
                         "shorter\n",
                         maxCapacity);
      std::free(block);
      return TARNE_STATUS_LIMIT_EXCEEDED;
    }
    capacity *= 2;  // at most maxCapacity, checked above: never wraps
    auto *grown = static_cast<uint8_t *>(std::realloc(block, sizeof(TarneEntry) + capacity));
    if (grown == nullptr) {
      (void)std::fputs("Failed to re-allocate memory for entry\n", err);
      std::free(block);
      return TARNE_STATUS_OUT_OF_MEMORY;
    }
    block = grown;
  }

  *entry = reinterpret_cast<TarneEntry *>(block);
  (*entry)->valueLen = length;
  return TARNE_STATUS_SUCCESS;
}
