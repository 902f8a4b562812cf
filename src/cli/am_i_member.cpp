#include "cli/commands.h"
#include "cli/entry_buffer.h"
#include "client/tarne_status_codes.h"
#include "output/message.h"
#include "output/output.h"
#include "record/uuid.h"
#include "tables/entry_types.h"

namespace {

constexpr uint32_t kMembershipElements = 3;

TarneQuery MembershipQuery(const OlvaUUID &cluster) {
  TarneQuery query{};
  query.owner = kTarneUuidSelf;
  query.cluster = cluster;
  query.type = kEntryTypeSubClusterMembership;
  query.flags = TARNE_QUERY_ANY_OWNER | TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION;
  return query;
}

}  // namespace

int32_t Command_AmIMember(const Settings &settings) {
  OlvaUUID self{};
  PEK_ReturnStatus status = TARNE_GetSelfUUID(&self);
  if (status != 0) {
    Message_StepFailure("Failed to get self uuid from TARNE library (%s)\n",
                        PEK_ReturnStatusToString(status));
    return -1;
  }

  // A heap buffer, so that a membership larger than the first 1024 bytes is re-read whole
  // instead of being validated or scanned past what was read.
  EntryBuffer buffer;
  if (!buffer.Allocate(kFirstEntryBufferSize)) return -1;
  const TarneQuery query = MembershipQuery(settings.query.cluster);
  if (TARNE_FindEntryForCluster(&query, 0, buffer.entry, buffer.size, 0) != 0) return -1;
  if (buffer.PayloadCut() &&
      RefetchWholeEntry(&buffer.entry, &buffer.size, settings.query.cluster) != 0) {
    return -1;
  }

  const uint8_t *expression = TarneEntry_Payload(buffer.entry);
  const uint32_t expressionLength = buffer.entry->valueLen;
  if (!OlvaExprScanner_IsValidExpr(expression, expressionLength)) {
    Message_StepFailure(
        "Failed to validate expression in master heartbeat message (exprLen = %d) %s\n",
        static_cast<int>(expressionLength), PEK_ReturnStatusToString(TARNE_STATUS_FAILURE));
    return -1;
  }

  uint32_t position = 0;
  uint32_t elementCount = 0;
  const void *nested = nullptr;
  status = OlvaExprScanner_GetArgs(expression, &position, "%E", &elementCount, &nested);
  if (status != 0 || elementCount != kMembershipElements) {
    Message_StepFailure("Failed to scan expression: %s\n", PEK_ReturnStatusToString(status));
    return -1;
  }

  position = 0;
  uint32_t first = 0;
  uint32_t second = 0;
  uint32_t memberCount = 0;
  const OlvaUUID *members = nullptr;
  status =
      OlvaExprScanner_GetArgs(nested, &position, "%u%u%U", &first, &second, &memberCount, &members);
  if (status != 0) {
    Message_StepFailure("Failed to scan inner expression: %s\n", PEK_ReturnStatusToString(status));
    return -1;
  }

  Output_Printf("Membership: \n");
  bool isMember = false;
  for (uint32_t i = 0; i < memberCount; ++i) {
    if (TarneUuid_Equal(members[i], self)) {
      isMember = true;
      Message_Info(kVerbositySelfInMembership,
                   "Found this node " UUID_TEXT_FORMAT " in the membership\n",
                   UUID_TEXT_ARGS(self));
    }
    Output_Printf(UUID_TEXT_FORMAT "\n", UUID_TEXT_ARGS(members[i]));
  }
  Output_Printf("I (" UUID_TEXT_FORMAT ") am %sa member.\n", UUID_TEXT_ARGS(self),
                isMember ? "" : "not ");
  return 0;
}
