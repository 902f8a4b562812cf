#include "progress.h"

#include <unistd.h>

#include <ctime>

namespace olva::admin {
namespace {

uint64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000 + static_cast<uint64_t>(now.tv_nsec);
}

}  // namespace

Progress Progress::OnTerminal(std::FILE *stream, uint64_t total) {
  return {isatty(fileno(stream)) != 0 ? stream : nullptr, total, MonotonicNs};
}

Progress::Progress(std::FILE *stream, uint64_t total, Clock clock)
    : stream_(stream), total_(total), clock_(clock) {
  if (stream_ != nullptr) start_ = lastShown_ = clock_();
}

void Progress::Update(uint64_t done) {
  lastCheck_ = done;
  const uint64_t now = clock_();
  if (now - lastShown_ < kIntervalNs) return;
  lastShown_ = now;
  const double seconds = static_cast<double>(now - start_) / 1e9;
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  (void)std::fprintf(stream_, "\r%llu entries, %.0f/s, %.0f s",
                     static_cast<unsigned long long>(done), rate, seconds);
  if (total_ > done && rate > 0) {
    (void)std::fprintf(stream_, ", %.0f s left", static_cast<double>(total_ - done) / rate);
  }
  (void)std::fputs("\033[K", stream_);  // the rest of a longer line before
  (void)std::fflush(stream_);
  shown_ = true;
}

void Progress::Finish() {
  if (stream_ != nullptr && shown_) {
    (void)std::fputs("\r\033[K", stream_);
    (void)std::fflush(stream_);
  }
  shown_ = false;
}

}  // namespace olva::admin
