// A dump file read as a stream with gzread's contract. Inflating and printing share the work
// of a large dump: a second thread fills a small ring of chunks from the GzipSource while the
// caller's thread takes entries from them, so memory stays flat however long the dump.
#ifndef TARNE_DUMP_DUMP_STREAM_H
#define TARNE_DUMP_DUMP_STREAM_H

#include <pthread.h>

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "dump/gzip_source.h"

class DumpStream {
 public:
  static constexpr uint32_t kChunkBytes = 256 * 1024;
  static constexpr uint32_t kChunks = 4;

  DumpStream() = default;
  ~DumpStream();
  DumpStream(const DumpStream &) = delete;
  DumpStream &operator=(const DumpStream &) = delete;

  // Opens `path`, once per stream; with `background`, a thread reads ahead (without one, if it
  // cannot start). False: the file cannot be opened, errno tells why.
  bool Open(const char *path, bool background);

  // One read with gzread's contract: stores all `length` bytes unless the stream ends first
  // (then fewer, 0 when it is already at its end) or fails (-1, nothing stored, errno that of
  // the failed read when one failed). A failure after some bytes returns their count, and the
  // next read reports the failure.
  int64_t Read(void *destination, uint32_t length) {
    if (length <= length_ - offset_) {
      std::memcpy(destination, chunk_ + offset_, length);
      offset_ += length;
      return length;
    }
    return ReadAcrossChunks(static_cast<unsigned char *>(destination), length);
  }

 private:
  struct Chunk {
    std::unique_ptr<unsigned char[]> bytes;
    int64_t length = 0;  // as GzipSource::Fill returned it: 0 or -1 ends the stream
    int error = 0;
  };

  int64_t ReadAcrossChunks(unsigned char *destination, uint32_t length);
  bool NextChunk();
  void Produce();

  GzipSource source_;
  Chunk chunks_[kChunks];
  // The chunk being read: its bytes, its length (0 once it ended the stream) and the read
  // position. Kept apart from chunks_ so that Read touches nothing the producer writes.
  const unsigned char *chunk_ = nullptr;
  uint32_t length_ = 0;
  uint32_t offset_ = 0;
  uint32_t current_ = 0;  // index of the chunk being read
  bool ended_ = false;    // chunks_[current_] ended the stream

  bool background_ = false;
  pthread_t producer_{};
  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t filled_ = 0;  // chunks filled and not yet released by the reader, under mutex_
  bool stopping_ = false;
};

#endif  // TARNE_DUMP_DUMP_STREAM_H
