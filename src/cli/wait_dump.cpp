#include "cli/commands.h"
#include "cli/first_match_payload.h"

int32_t Command_WaitDump(const Settings &settings) {
  if (TARNE_WaitForEntryForCluster(&settings.query, settings.timeout, 0) != 0) return -1;
  return WriteFirstMatchPayload(settings.query);  // looked up afresh after the wait
}
