// The fatal-error exit that the client libraries call back into.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "client/tarne_client.h"

extern "C" void Panic(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  static_cast<void>(std::vfprintf(stderr, format, arguments));
  va_end(arguments);
  static_cast<void>(std::fputc('\n', stderr));
  // abort rather than exit: no exit handlers may run on a corrupted process.
  std::abort();
}
