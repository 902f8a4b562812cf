#include "dump/dump_stream.h"

#include <algorithm>
#include <climits>
#include <new>

DumpStream::DumpStream(gzFile file) : file_(file) {
  gzbuffer(file_, kZlibBufferBytes);
  // Without the window every read goes straight to zlib: slower, but the same bytes.
  window_.reset(new (std::nothrow) unsigned char[kWindowBytes]);
  if (window_) windowSize_ = kWindowBytes;
}

int64_t DumpStream::ReadAcrossRefills(unsigned char *destination, uint32_t length) {
  uint32_t stored = 0;
  while (stored < length) {
    if (begin_ < end_) {
      const uint32_t piece = std::min(end_ - begin_, length - stored);
      std::memcpy(destination + stored, window_.get() + begin_, piece);
      begin_ += piece;
      stored += piece;
      continue;
    }
    const uint32_t missing = length - stored;
    int got = 0;
    if (missing >= windowSize_) {
      // gzread refuses requests beyond INT_MAX.
      const auto request = static_cast<unsigned>(std::min<uint32_t>(missing, INT_MAX));
      got = gzread(file_, destination + stored, request);
      if (got > 0) stored += static_cast<uint32_t>(got);
    } else {
      got = gzread(file_, window_.get(), windowSize_);
      if (got > 0) {
        begin_ = 0;
        end_ = static_cast<uint32_t>(got);
      }
    }
    if (got <= 0) return stored > 0 ? int64_t{stored} : int64_t{got};
  }
  return stored;
}
