#include "cli/commands.h"

int32_t Command_WaitForMembership(const Settings &settings) {
  return TARNE_WaitForMembershipForCluster(settings.timeout, settings.query.cluster) == 0 ? 0 : -1;
}
