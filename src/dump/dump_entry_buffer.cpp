#include "dump/dump_entry_buffer.h"

#include <algorithm>

bool DumpEntryBuffer::Prepare(uint64_t size) {
  prepared_ = size;
  if (size <= capacity_) return true;
  if (size <= kInitialBytes) return Reallocate(kInitialBytes);
  // Ask once for the whole entry and give it back untouched; see the header.
  void *probe = std::malloc(size);
  if (probe == nullptr) return false;
  std::free(probe);
  // The header always fits; the payload brings the rest.
  return capacity_ >= kInitialBytes || Reallocate(kInitialBytes);
}

bool DumpEntryBuffer::Grow(uint64_t size) {
  if (size <= capacity_) return true;
  return Reallocate(std::min(prepared_, std::max({size, 2 * capacity_, kInitialBytes})));
}

bool DumpEntryBuffer::Reallocate(uint64_t capacity) {
  void *grown = std::realloc(bytes_, capacity);
  if (grown == nullptr) return false;
  bytes_ = static_cast<unsigned char *>(grown);
  capacity_ = capacity;
  return true;
}
