// Captures the output channel in memory for one test and puts back the streams and the
// process-wide settings that the test changed.
#ifndef TARNE_TESTS_UNIT_CHANNEL_CAPTURE_H
#define TARNE_TESTS_UNIT_CHANNEL_CAPTURE_H

#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/output.h"
#include "settings/settings.h"

class ChannelCapture {
 public:
  ChannelCapture()
      : savedSettings_(CurrentSettings()), previousOut_(Output_Out()), previousErr_(Output_Err()) {
    out_ = open_memstream(&outText_, &outSize_);
    err_ = open_memstream(&errText_, &errSize_);
    if (out_ == nullptr || err_ == nullptr) std::abort();  // nothing to test without them
    Output_SetStreams(out_, err_);
  }
  ChannelCapture(const ChannelCapture &) = delete;
  ChannelCapture &operator=(const ChannelCapture &) = delete;
  ~ChannelCapture() {
    Output_SetStreams(previousOut_ == stdout ? nullptr : previousOut_,
                      previousErr_ == stderr ? nullptr : previousErr_);
    std::fclose(out_);
    std::fclose(err_);
    std::free(outText_);
    std::free(errText_);
    MutableSettings() = savedSettings_;
  }

  // Everything written so far to the channel's standard output or standard error.
  std::string Out() {
    std::fflush(out_);
    return std::string(outText_, outSize_);
  }
  std::string Err() {
    std::fflush(err_);
    return std::string(errText_, errSize_);
  }

 private:
  Settings savedSettings_;
  FILE *previousOut_;
  FILE *previousErr_;
  FILE *out_ = nullptr;
  FILE *err_ = nullptr;
  char *outText_ = nullptr;
  char *errText_ = nullptr;
  size_t outSize_ = 0;
  size_t errSize_ = 0;
};

#endif  // TARNE_TESTS_UNIT_CHANNEL_CAPTURE_H
