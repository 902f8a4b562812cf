// The one heap buffer a lookup command reads entries into, and its re-read at full size.
#ifndef TARNE_CLI_ENTRY_BUFFER_H
#define TARNE_CLI_ENTRY_BUFFER_H

#include <cstdint>

#include "client/tarne_client.h"

inline constexpr uint32_t kFirstEntryBufferSize = 1024;

// Owns a malloc'ed entry buffer; it only ever grows.
struct EntryBuffer {
  TarneEntry *entry = nullptr;
  uint32_t size = 0;

  EntryBuffer() = default;
  EntryBuffer(const EntryBuffer &) = delete;
  EntryBuffer &operator=(const EntryBuffer &) = delete;
  ~EntryBuffer();

  // Allocates the first buffer; false when there is no memory.
  bool Allocate(uint32_t bytes);
  // True when the entry's payload did not fit and must be re-read.
  bool PayloadCut() const;
};

// Grows the buffer to exactly 64 + valueLen of the header it holds and re-reads that
// entry with an exact query in the given cluster. 0, 0x0BAD0014 when the buffer cannot
// grow (the old buffer stays), or 0x0BAD0003 whatever else went wrong in the re-read.
PEK_ReturnStatus RefetchWholeEntry(TarneEntry **buffer, uint32_t *size, OlvaUUID cluster);

#endif  // TARNE_CLI_ENTRY_BUFFER_H
