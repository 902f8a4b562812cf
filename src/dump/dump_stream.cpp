#include "dump/dump_stream.h"

#include <algorithm>
#include <cerrno>
#include <new>

DumpStream::~DumpStream() {
  if (!background_) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  pthread_join(producer_, nullptr);
}

bool DumpStream::Open(const char *path, bool background) {
  const int savedErrno = errno;
  if (!source_.Open(path)) return false;
  for (Chunk &chunk : chunks_) {
    chunk.bytes.reset(new (std::nothrow) unsigned char[kChunkBytes]);
    if (!chunk.bytes) {
      errno = ENOMEM;
      return false;
    }
  }
  // The first chunk is taken as already read, so that the first Read fetches the next one.
  current_ = kChunks - 1;
  filled_ = 1;
  // pthread rather than std::thread: a thread that cannot start means reading on this one,
  // not an exception.
  if (background) {
    const auto run = [](void *stream) -> void * {
      static_cast<DumpStream *>(stream)->Produce();
      return nullptr;
    };
    background_ = pthread_create(&producer_, nullptr, run, this) == 0;
  }
  errno = savedErrno;  // a later message reports errno as the reads leave it
  return true;
}

// The reading thread: fills the ring one chunk after the other until the stream ends.
void DumpStream::Produce() {
  for (uint32_t next = 0;; next = (next + 1) % kChunks) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return filled_ < kChunks || stopping_; });
      if (stopping_) return;
    }
    Chunk &chunk = chunks_[next];
    chunk.length = source_.Fill(chunk.bytes.get(), kChunkBytes, &chunk.error);
    {
      const std::lock_guard lock(mutex_);
      ++filled_;
    }
    changed_.notify_all();
    if (chunk.length <= 0) return;
  }
}

// Releases the chunk just read and waits for the next one. False: the stream has ended.
bool DumpStream::NextChunk() {
  if (ended_) return false;
  const uint32_t next = (current_ + 1) % kChunks;
  Chunk &chunk = chunks_[next];
  if (background_) {
    std::unique_lock lock(mutex_);
    --filled_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return filled_ > 0; });
  } else {
    chunk.length = source_.Fill(chunk.bytes.get(), kChunkBytes, &chunk.error);
  }
  current_ = next;
  chunk_ = chunk.bytes.get();
  offset_ = 0;
  ended_ = chunk.length <= 0;
  length_ = ended_ ? 0 : static_cast<uint32_t>(chunk.length);
  return !ended_;
}

int64_t DumpStream::ReadAcrossChunks(unsigned char *destination, uint32_t length) {
  uint32_t stored = 0;
  while (stored < length) {
    if (offset_ == length_ && !NextChunk()) {
      if (stored > 0) return stored;
      const Chunk &last = chunks_[current_];
      if (last.length < 0 && last.error != 0) errno = last.error;
      return last.length;
    }
    const uint32_t piece = std::min(length_ - offset_, length - stored);
    std::memcpy(destination + stored, chunk_ + offset_, piece);
    offset_ += piece;
    stored += piece;
  }
  return stored;
}
