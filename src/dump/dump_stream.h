// The dump file as a stream read in large pieces. zlib inflates a large block at a time into
// one window and entries are served from it, so that an entry costs a copy rather than a
// library call per header and payload.
#ifndef TARNE_DUMP_DUMP_STREAM_H
#define TARNE_DUMP_DUMP_STREAM_H

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>

class DumpStream {
 public:
  // zlib's input buffer, set before the first read. Its output buffer is twice as large, and
  // a request at least that large is inflated straight into the caller's memory: so each
  // refill of the window costs no copy. Larger buffers gained nothing measurable (about 15%
  // over zlib's 8 KiB default, then flat), and on a damaged stream zlib drops what the
  // failing request had inflated, so a refill is kept moderate: at most 128 KiB of the
  // entries before the damage go unlisted.
  static constexpr unsigned kZlibBufferBytes = 64 * 1024;
  static constexpr uint32_t kWindowBytes = 2 * kZlibBufferBytes;

  // `file` stays owned by the caller and must outlive the stream.
  explicit DumpStream(gzFile file);

  // One read with gzread's contract: stores all `length` bytes unless the stream ends first
  // (then fewer, 0 when it is already at its end) or fails (negative, nothing stored). A
  // failure after some bytes returns their count, and the next read reports the failure.
  int64_t Read(void *destination, uint32_t length) {
    if (end_ - begin_ >= length) {
      std::memcpy(destination, window_.get() + begin_, length);
      begin_ += length;
      return length;
    }
    return ReadAcrossRefills(static_cast<unsigned char *>(destination), length);
  }

 private:
  int64_t ReadAcrossRefills(unsigned char *destination, uint32_t length);

  gzFile file_;
  std::unique_ptr<unsigned char[]> window_;  // absent if it could not be allocated
  uint32_t windowSize_ = 0;
  uint32_t begin_ = 0;  // the bytes not yet served lie in [begin_, end_)
  uint32_t end_ = 0;
};

#endif  // TARNE_DUMP_DUMP_STREAM_H
