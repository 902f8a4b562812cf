#include "dump/read_fully.h"

#include <algorithm>
#include <climits>

#include "output/output.h"

int64_t ReadFully(gzFile file, void *destination, uint32_t length) {
  auto *bytes = static_cast<unsigned char *>(destination);
  return ReadFullyWith(length, Output_Err(), [&](uint32_t offset, uint32_t missing) -> int64_t {
    // gzread refuses requests beyond INT_MAX; a shorter read is simply followed by the next.
    const auto request = static_cast<unsigned>(std::min<uint32_t>(missing, INT_MAX));
    return gzread(file, bytes + offset, request);
  });
}
