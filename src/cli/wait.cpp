#include "cli/commands.h"

int32_t Command_Wait(const Settings &settings) {
  return TARNE_WaitForEntryForCluster(&settings.query, settings.timeout, 0) == 0 ? 0 : -1;
}
