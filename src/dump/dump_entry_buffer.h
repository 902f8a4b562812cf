// The one buffer that holds the entry being printed, reused for every entry of a dump.
//
// A dump's lengths are not trusted. An entry's header claims up to 4 GiB of payload, and on a
// system that overcommits, allocating the claimed size succeeds whether or not the bytes
// exist; touching it then makes memory follow the claims of a hostile file. So the buffer
// grows only as payload bytes arrive, doubling from what it holds, up to the entry's size:
// a header claiming 4 GiB followed by 10 bytes costs no more than a small entry. Whether an
// entry can be allocated at all is still decided up front, as the dump format requires: a
// large size is allocated once and released untouched (address space only, no memory), and
// its failure takes the out-of-memory path just as a real allocation would.
// Memory stays bounded by max(kInitialBytes, twice the largest entry that actually arrived).
#ifndef TARNE_DUMP_DUMP_ENTRY_BUFFER_H
#define TARNE_DUMP_DUMP_ENTRY_BUFFER_H

#include <cstdint>
#include <cstdlib>

#include "client/tarne_client.h"

class DumpEntryBuffer {
 public:
  // Entries up to this size are allocated at once; above it the buffer grows with the data.
  static constexpr uint64_t kInitialBytes = uint64_t{64} * 1024;

  DumpEntryBuffer() = default;
  ~DumpEntryBuffer() { std::free(bytes_); }
  DumpEntryBuffer(const DumpEntryBuffer &) = delete;
  DumpEntryBuffer &operator=(const DumpEntryBuffer &) = delete;

  // Prepares for an entry of `size` bytes, header included. False: no memory for it.
  bool Prepare(uint64_t size);
  // Makes at least `size` bytes usable, never more than the prepared size. False: no memory.
  bool Grow(uint64_t size);

  uint64_t Capacity() const { return capacity_; }
  unsigned char *Bytes() { return bytes_; }
  const TarneEntry *Entry() const { return reinterpret_cast<const TarneEntry *>(bytes_); }

 private:
  bool Reallocate(uint64_t capacity);

  unsigned char *bytes_ = nullptr;
  uint64_t capacity_ = 0;
  uint64_t prepared_ = 0;
};

#endif  // TARNE_DUMP_DUMP_ENTRY_BUFFER_H
