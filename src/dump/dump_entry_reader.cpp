#include "dump/dump_entry_reader.h"

#include <algorithm>
#include <cstring>

#include "dump/read_fully.h"

namespace {

constexpr uint32_t kEntryHeaderBytes = sizeof(TarneEntry);

}  // namespace

DumpRead DumpEntryReader::Next() {
  entry_ = nullptr;
  auto *headerBytes = reinterpret_cast<unsigned char *>(&header_);
  const int64_t got = ReadFully(stream_, headerBytes, kEntryHeaderBytes, messages_);
  if (got == 0) return DumpRead::kEnd;
  if (got != kEntryHeaderBytes) return DumpRead::kHeaderFailed;

  if (header_.valueLen == 0) {  // the header alone is the entry: no buffer needed
    entry_ = &header_;
    return DumpRead::kEntry;
  }
  if (!buffer_.Prepare(EntrySize())) return DumpRead::kNoMemory;
  std::memcpy(buffer_.Bytes(), &header_, kEntryHeaderBytes);
  const int64_t payload = ReadPayload();
  if (payload == kReadStopped) return DumpRead::kNoMemory;
  if (payload != header_.valueLen) return DumpRead::kPayloadFailed;
  entry_ = buffer_.Entry();
  return DumpRead::kEntry;
}

// One ReadFully of the payload behind the header. Each read takes the bytes in pieces no
// larger than the buffer already holds, and the buffer grows only once the bytes before have
// arrived (DumpEntryBuffer), so a length the stream does not back never becomes memory.
int64_t DumpEntryReader::ReadPayload() {
  return ReadFullyWith(
      header_.valueLen, messages_, [&](uint32_t offset, uint32_t missing) -> int64_t {
        uint32_t stored = 0;
        while (stored < missing) {
          const uint64_t at = uint64_t{kEntryHeaderBytes} + offset + stored;
          if (at == buffer_.Capacity() && !buffer_.Grow(at + 1)) {
            return stored > 0 ? int64_t{stored} : kReadStopped;
          }
          const auto piece =
              static_cast<uint32_t>(std::min<uint64_t>(missing - stored, buffer_.Capacity() - at));
          const int64_t got = stream_.Read(buffer_.Bytes() + at, piece);
          if (got <= 0) return stored > 0 ? int64_t{stored} : got;
          stored += static_cast<uint32_t>(got);
          if (got < piece) break;  // the stream ended
        }
        return stored;
      });
}
