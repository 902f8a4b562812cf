// Reading an exact number of bytes from a dump's stream, with a bounded number of reads so
// that a truncated or damaged stream cannot keep the reader busy.
#ifndef TARNE_DUMP_READ_FULLY_H
#define TARNE_DUMP_READ_FULLY_H

#include <cerrno>
#include <cstdint>
#include <cstdio>

inline constexpr int kReadFullyAttempts = 100;
inline constexpr const char *kReadRetriesMessage = "Failed to read after %d retries, bailing.\n";

// Returned by a read step that must end the request at once (the entry buffer could not grow);
// never returned by ReadFully on a stream.
inline constexpr int64_t kReadStopped = -2;

// The rule shared by every read of a dump. `read(offset, missing)` stores up to `missing`
// bytes at `offset` of the destination and returns how many it stored: 0 at the end of the
// stream, negative on failure (a failure stores nothing that counts). Returns 0 when the stream
// ends before any byte (or `length` is 0), `length` when every byte arrived, kReadStopped when
// a read step returned it, and -1, after `messages` got the retries line, when
// kReadFullyAttempts reads did not complete the request.
template <typename Read>
int64_t ReadFullyWith(uint32_t length, FILE *messages, Read &&read) {
  if (length == 0) return 0;
  uint32_t done = 0;
  for (int attempt = 0; attempt < kReadFullyAttempts; ++attempt) {
    const int64_t got = read(done, length - done);
    if (got == kReadStopped) return kReadStopped;
    if (got == 0 && done == 0) return 0;
    if (got > 0) {
      done += static_cast<uint32_t>(got);
      if (done == length) return length;
    }
  }
  // Where the streams meet, the message follows what was written before it; errno stays as
  // the reads left it, since the caller's message reports it.
  const int readErrno = errno;
  (void)std::fflush(nullptr);
  (void)std::fprintf(messages, kReadRetriesMessage, kReadFullyAttempts);
  errno = readErrno;
  return -1;
}

class DumpStream;

// Reads exactly `length` bytes of `stream` into `destination` with ReadFullyWith, one
// DumpStream::Read per read; the retries line goes to `messages`.
int64_t ReadFully(DumpStream &stream, void *destination, uint32_t length, FILE *messages);

#endif  // TARNE_DUMP_READ_FULLY_H
