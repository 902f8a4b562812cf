#include "output/message.h"

#include <cstdarg>
#include <cstdio>

#include "output/output.h"
#include "settings/settings.h"

void Message_Error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  (void)std::vfprintf(Output_Err(), format, args);
  va_end(args);
}

void Message_StepFailure(const char *format, ...) {
  if (CurrentSettings().verbosity < 0) return;
  va_list args;
  va_start(args, format);
  Output_VPrintf(Output_Timestamp(), format, args);
  va_end(args);
}

void Message_Info(int level, const char *format, ...) {
  if (CurrentSettings().verbosity < level) return;
  va_list args;
  va_start(args, format);
  Output_VPrintf(Output_Timestamp(), format, args);
  va_end(args);
}
