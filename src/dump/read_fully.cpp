#include "dump/read_fully.h"

#include "dump/dump_stream.h"

int64_t ReadFully(DumpStream &stream, void *destination, uint32_t length, FILE *messages) {
  auto *bytes = static_cast<unsigned char *>(destination);
  return ReadFullyWith(length, messages, [&](uint32_t offset, uint32_t missing) {
    return stream.Read(bytes + offset, missing);
  });
}
