#include "output/output.h"

#include <sys/time.h>

#include <cstdarg>
#include <cstring>
#include <ctime>
#include <memory>

#include "settings/settings.h"

namespace {

FILE *outStream = nullptr;  // nullptr: the process's standard output
FILE *errStream = nullptr;  // nullptr: the process's standard error

// One buffer per thread: remote-find results print on a library thread while the main
// thread may take a timestamp of its own.
thread_local char timestampBuffer[32];

// Writes head, prefix and the formatted text to stream in one write, so that lines from
// different threads do not interleave.
void WriteFormatted(FILE *stream, const char *head, const char *prefix, const char *format,
                    va_list args) {
  char local[1024];
  const int prefixWritten = std::snprintf(local, sizeof local, "%s%s", head, prefix);
  if (prefixWritten < 0 || static_cast<size_t>(prefixWritten) >= sizeof local) return;
  const auto prefixLength = static_cast<size_t>(prefixWritten);
  va_list copy;
  va_copy(copy, args);
  const int textLength =
      std::vsnprintf(local + prefixLength, sizeof local - prefixLength, format, copy);
  va_end(copy);
  if (textLength < 0) return;
  const size_t total = prefixLength + static_cast<size_t>(textLength);
  if (total < sizeof local) {
    (void)std::fwrite(local, 1, total, stream);
    return;
  }
  std::unique_ptr<char[]> heap(new (std::nothrow) char[total + 1]);
  if (!heap) return;  // like a failed write: nothing is checked
  std::memcpy(heap.get(), local, prefixLength);
  (void)std::vsnprintf(heap.get() + prefixLength, total + 1 - prefixLength, format, args);
  (void)std::fwrite(heap.get(), 1, total, stream);
}

void WriteToErrorBehindTimestamp(const char *text, size_t length) {
  const char *timestamp = Output_Timestamp();
  const size_t prefixLength = std::strlen(timestamp);
  const size_t total = prefixLength + length;

  // One write per text, as above.
  char local[1024];
  std::unique_ptr<char[]> heap;
  char *line = local;
  if (total > sizeof local) {
    heap.reset(new (std::nothrow) char[total]);
    if (!heap) return;  // like a failed write: nothing is checked
    line = heap.get();
  }
  std::memcpy(line, timestamp, prefixLength);
  std::memcpy(line + prefixLength, text, length);
  (void)std::fwrite(line, 1, total, Output_Err());
}

}  // namespace

const char *Output_Timestamp() {
  std::memset(timestampBuffer, 0, sizeof timestampBuffer);
  timeval now{};
  if (gettimeofday(&now, nullptr) != 0) return timestampBuffer;
  const time_t seconds = now.tv_sec;
  tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return timestampBuffer;
  (void)std::strftime(timestampBuffer, sizeof timestampBuffer, "%Y-%m-%dT%H:%M:%S: ", &local);
  return timestampBuffer;
}

void Output_VPrintf(const char *prefix, const char *format, va_list args) {
  if (CurrentSettings().channelOnStderr) {
    WriteFormatted(Output_Err(), Output_Timestamp(), prefix, format, args);
  } else {
    WriteFormatted(Output_Out(), "", prefix, format, args);
  }
}

void Output_Printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  Output_VPrintf("", format, args);
  va_end(args);
}

void Output_Write(const char *text, size_t length) {
  if (CurrentSettings().channelOnStderr) {
    WriteToErrorBehindTimestamp(text, length);
  } else {
    (void)std::fwrite(text, 1, length, Output_Out());
  }
}

void Output_SetStreams(FILE *out, FILE *err) {
  outStream = out;
  errStream = err;
}

FILE *Output_Out() {
  return outStream != nullptr ? outStream : stdout;
}
FILE *Output_Err() {
  return errStream != nullptr ? errStream : stderr;
}
