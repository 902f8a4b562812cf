/* Bounded formatted print of the utility library. */
#include <stdarg.h>
#include <stdio.h>

#include "client/tarne_client.h"

int Str_Snprintf(char *buffer, size_t size, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int written = vsnprintf(buffer, size, format, args);
  va_end(args);
  /* vsnprintf already terminates within size; a size of 0 leaves nothing to terminate. */
  return written;
}
