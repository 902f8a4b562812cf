#include "cli/commands.h"
#include "output/output.h"
#include "record/uuid.h"

int32_t Command_Whoami(const Settings &) {
  OlvaUUID self{};
  if (TARNE_GetSelfUUID(&self) != 0) return -1;
  Output_Printf(UUID_TEXT_FORMAT "\n", UUID_TEXT_ARGS(self));
  return 0;
}
