#include "cli/first_match_payload.h"

#include <cstdio>

#include "cli/commands.h"
#include "cli/entry_buffer.h"
#include "client/tarne_status_codes.h"
#include "output/message.h"

int32_t WriteFirstMatchPayload(const TarneQuery &query) {
  EntryBuffer buffer;
  if (!buffer.Allocate(kFirstEntryBufferSize)) {
    Message_Error("Failed to allocate entry buffer\n");
    return -1;
  }
  const PEK_ReturnStatus status =
      TARNE_FindEntryForCluster(&query, 0, buffer.entry, buffer.size, 0);
  if (status != 0) {
    Message_Error("Failed to find matching entry: %s\n", PEK_ReturnStatusToString(status));
    return -1;
  }
  if (buffer.PayloadCut()) {
    const PEK_ReturnStatus refetched =
        RefetchWholeEntry(&buffer.entry, &buffer.size, query.cluster);
    if (refetched == TARNE_STATUS_NOT_FOUND) {
      Message_Error("Failed to find matching entry: %s\n",
                    PEK_ReturnStatusToString(TARNE_STATUS_NOT_FOUND));
    }
    if (refetched != 0) return -1;
  }

  const uint32_t valueLen = buffer.entry->valueLen;
  if (valueLen == 0) return 0;
  // A short write may only show when the stream is flushed.
  const bool written =
      std::fwrite(TarneEntry_Payload(buffer.entry), 1, valueLen, stdout) == valueLen &&
      std::fflush(stdout) == 0;
  if (!written) {
    Message_Error("Failed to write %u bytes to stdout\n", valueLen);
    return -1;
  }
  return 0;
}

int32_t Command_Dump(const Settings &settings) {
  return WriteFirstMatchPayload(settings.query);
}
