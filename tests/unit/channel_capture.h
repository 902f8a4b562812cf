// Captures the output channel in memory for one test and puts back the streams and the
// process-wide settings that the test changed.
#ifndef TARNE_TESTS_UNIT_CHANNEL_CAPTURE_H
#define TARNE_TESTS_UNIT_CHANNEL_CAPTURE_H

#include <cstdlib>
#include <string>

#include "output/output.h"
#include "settings/settings.h"

class ChannelCapture {
 public:
  ChannelCapture() : saved_(CurrentSettings()) {
    out_ = open_memstream(&outText_, &outSize_);
    err_ = open_memstream(&errText_, &errSize_);
    if (out_ == nullptr || err_ == nullptr) std::abort();  // nothing to test without them
    Output_SetStreams(out_, err_);
  }
  ChannelCapture(const ChannelCapture &) = delete;
  ChannelCapture &operator=(const ChannelCapture &) = delete;
  ~ChannelCapture() {
    Output_SetStreams(nullptr, nullptr);
    (void)std::fclose(out_);
    (void)std::fclose(err_);
    std::free(outText_);
    std::free(errText_);
    MutableSettings() = saved_;
  }
  std::string Out() { return Text(out_, outText_, outSize_); }
  std::string Err() { return Text(err_, errText_, errSize_); }

 private:
  static std::string Text(FILE *stream, char *const &text, const size_t &size) {  // after the flush
    (void)std::fflush(stream);
    return std::string(text, size);
  }
  Settings saved_;
  FILE *out_, *err_;
  char *outText_ = nullptr, *errText_ = nullptr;
  size_t outSize_ = 0, errSize_ = 0;
};

#endif  // TARNE_TESTS_UNIT_CHANNEL_CAPTURE_H
