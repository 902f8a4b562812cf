#include "dump/gzip_source.h"

#include <fcntl.h>
#include <isa-l/igzip_lib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace {

// Large enough that ISA-L runs its fast loop and a refill is one read; larger gained nothing.
constexpr uint32_t kInputBytes = 128 * 1024;
constexpr unsigned char kGzipMagic[2] = {0x1f, 0x8b};

}  // namespace

GzipSource::GzipSource() = default;

GzipSource::~GzipSource() {
  if (fd_ >= 0) close(fd_);
}

bool GzipSource::Open(const char *path) {
  input_.reset(new (std::nothrow) unsigned char[kInputBytes]);
  state_.reset(new (std::nothrow) inflate_state);
  if (!input_ || !state_) {
    errno = ENOMEM;
    return false;
  }
  isal_inflate_init(state_.get());
  state_->next_in = input_.get();
  state_->avail_in = 0;
  fd_ = open(path, O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

uint32_t GzipSource::Available() const {
  return state_->avail_in;
}
const unsigned char *GzipSource::NextIn() const {
  return state_->next_in;
}
void GzipSource::Consume(uint32_t count) {
  state_->next_in += count;
  state_->avail_in -= count;
}

// Moves the unread input to the front and reads until `wanted` bytes are there, the buffer is
// full or the file ends. False: a read failed.
bool GzipSource::LoadInput(uint32_t wanted) {
  uint32_t have = state_->avail_in;
  std::memmove(input_.get(), state_->next_in, have);
  state_->next_in = input_.get();
  while (have < wanted && !inputEnded_) {
    const ssize_t got = read(fd_, input_.get() + have, kInputBytes - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error_ = errno;
      state_->avail_in = have;
      return false;
    }
    if (got == 0) inputEnded_ = true;
    have += static_cast<uint32_t>(got);
  }
  state_->avail_in = have;
  return true;
}

int64_t GzipSource::Fill(unsigned char *out, uint32_t capacity, int *error) {
  for (;;) {
    switch (mode_) {
      case Mode::kEnd:
        return 0;
      case Mode::kFailed:
        *error = error_;
        return -1;
      case Mode::kLook:
        if (Available() < 2 && !LoadInput(2)) {
          mode_ = Mode::kFailed;
          continue;
        }
        if (Available() >= 2 && std::memcmp(NextIn(), kGzipMagic, 2) == 0) {
          isal_inflate_reset(state_.get());
          state_->crc_flag = ISAL_GZIP;
          mode_ = Mode::kInflate;
          anyMember_ = true;
        } else {
          // After a member, other bytes are ignored; a file without the magic is copied.
          mode_ = anyMember_ || Available() == 0 ? Mode::kEnd : Mode::kCopy;
        }
        continue;
      case Mode::kCopy: {
        if (Available() == 0 && !LoadInput(1)) {
          mode_ = Mode::kFailed;
          continue;
        }
        if (Available() == 0) {
          mode_ = Mode::kEnd;
          continue;
        }
        const uint32_t piece = Available() < capacity ? Available() : capacity;
        std::memcpy(out, NextIn(), piece);
        Consume(piece);
        return piece;
      }
      case Mode::kInflate: {
        const int64_t produced = Inflate(out, capacity);
        if (produced > 0) return produced;
        continue;
      }
    }
  }
}

// Inflates until `out` is full, the member ends, the input ends or the data is damaged; the
// mode tells what comes next. Whatever was inflated is returned, damage or not.
int64_t GzipSource::Inflate(unsigned char *out, uint32_t capacity) {
  inflate_state *state = state_.get();
  state->next_out = out;
  state->avail_out = capacity;
  while (state->avail_out > 0) {
    if (state->avail_in == 0) {
      if (!LoadInput(1)) {
        mode_ = Mode::kFailed;
        break;
      }
      if (state->avail_in == 0) {  // a member cut short ends the content, as with zlib
        mode_ = Mode::kEnd;
        break;
      }
    }
    if (isal_inflate(state) < 0) {
      error_ = 0;
      mode_ = Mode::kFailed;
      break;
    }
    if (state->block_state == ISAL_BLOCK_FINISH) {
      mode_ = Mode::kLook;
      break;
    }
  }
  return capacity - state->avail_out;
}
