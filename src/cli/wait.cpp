#include "cli/commands.h"
#include "cli/not_available.h"

int32_t Command_Wait(const Settings &) { return Command_NotAvailable("wait"); }
