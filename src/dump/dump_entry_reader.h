// The entries of a dump file, read one at a time into one reused buffer: the record layout
// and the read rules of the dump file, without the messages and printing of `readdump`.
#ifndef TARNE_DUMP_DUMP_ENTRY_READER_H
#define TARNE_DUMP_DUMP_ENTRY_READER_H

#include <cstdint>
#include <cstdio>

#include "client/tarne_client.h"
#include "dump/dump_entry_buffer.h"
#include "dump/dump_stream.h"

enum class DumpRead : uint8_t {
  kEntry,          // Entry() holds the next entry
  kEnd,            // the stream ended cleanly between two entries
  kHeaderFailed,   // the stream ended inside an entry header, or a read failed
  kNoMemory,       // the entry cannot be allocated; EntrySize() tells its size
  kPayloadFailed,  // the stream ended before or inside a payload, or a read failed
};

class DumpEntryReader {
 public:
  // `stream` stays owned by the caller and must outlive the reader. The retries line of a
  // failed read goes to `messages`.
  DumpEntryReader(DumpStream &stream, FILE *messages) : stream_(stream), messages_(messages) {}

  DumpRead Next();

  // The entry of the last kEntry result, valid until the next call of Next.
  const TarneEntry *Entry() const { return entry_; }
  // 64 + valueLen of the last entry header read, computed in 64 bits.
  uint64_t EntrySize() const { return uint64_t{sizeof(TarneEntry)} + header_.valueLen; }
  // The memory held for entries: what a hostile length can make the reader take.
  uint64_t BufferCapacity() const { return buffer_.Capacity(); }

 private:
  int64_t ReadPayload();

  DumpStream &stream_;
  FILE *messages_;
  DumpEntryBuffer buffer_;
  TarneEntry header_{};
  const TarneEntry *entry_ = nullptr;
};

#endif  // TARNE_DUMP_DUMP_ENTRY_READER_H
