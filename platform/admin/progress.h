// Progress of long work for a person who watches it: entries done, their rate and the time
// left, on one line of a terminal rewritten in place. Nothing at all when the stream is not
// a terminal, so that logs and pipes get only the command's own messages.
#ifndef TARNE_ADMIN_PROGRESS_H
#define TARNE_ADMIN_PROGRESS_H

#include <cstdint>
#include <cstdio>

namespace olva::admin {

class Progress {
 public:
  using Clock = uint64_t (*)();  // nanoseconds, monotonic
  static constexpr uint64_t kIntervalNs = 250'000'000;

  // Shows on stream when it is a terminal. total: the entries expected, 0 when unknown.
  static Progress OnTerminal(std::FILE *stream, uint64_t total);
  Progress(std::FILE *stream, uint64_t total, Clock clock);
  ~Progress() { Finish(); }
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  bool Active() const { return stream_ != nullptr; }
  void SetTotal(uint64_t total) { total_ = total; }

  // Cheap enough for every entry: the clock is read once per kCheckEvery calls.
  void Advance(uint64_t done) {
    if (stream_ != nullptr && done - lastCheck_ >= kCheckEvery) Update(done);
  }
  // Erases the line, if one was shown.
  void Finish();

 private:
  static constexpr uint64_t kCheckEvery = 256;
  void Update(uint64_t done);

  std::FILE *stream_;
  uint64_t total_;
  Clock clock_;
  uint64_t start_ = 0;
  uint64_t lastShown_ = 0;
  uint64_t lastCheck_ = 0;
  bool shown_ = false;
};

}  // namespace olva::admin

#endif  // TARNE_ADMIN_PROGRESS_H
