#include "cli/entry_buffer.h"

#include <cstdio>
#include <cstdlib>

#include "client/tarne_status_codes.h"
#include "output/message.h"
#include "record/uuid.h"

EntryBuffer::~EntryBuffer() {
  std::free(entry);
}

bool EntryBuffer::Allocate(uint32_t bytes) {
  entry = static_cast<TarneEntry *>(std::malloc(bytes));
  size = entry != nullptr ? bytes : 0;
  return entry != nullptr;
}

bool EntryBuffer::PayloadCut() const {
  return uint64_t{sizeof(TarneEntry)} + entry->valueLen > size;
}

PEK_ReturnStatus RefetchWholeEntry(TarneEntry **buffer, uint32_t *size, OlvaUUID cluster) {
  const uint64_t wholeSize = uint64_t{sizeof(TarneEntry)} + (*buffer)->valueLen;
  const auto newSize = static_cast<uint32_t>(wholeSize);
  // An entry whose size does not fit in 32 bits cannot be held: it fails like a resize.
  void *grown = wholeSize == newSize ? std::realloc(*buffer, newSize) : nullptr;
  if (grown == nullptr) {
    Message_Error("Failed to resize entry buffer to %u bytes\n", newSize);
    return TARNE_STATUS_OUT_OF_MEMORY;
  }
  *buffer = static_cast<TarneEntry *>(grown);
  *size = newSize;

  const TarneQuery exact = MakeExactQuery(**buffer, cluster);
  if (TARNE_FindEntryForCluster(&exact, 0, *buffer, *size, 0) != 0) return TARNE_STATUS_NOT_FOUND;
  // The entry may have been replaced by a larger one of the same identity meanwhile.
  if (uint64_t{sizeof(TarneEntry)} + (*buffer)->valueLen > *size) return TARNE_STATUS_NOT_FOUND;
  return TARNE_STATUS_SUCCESS;
}
