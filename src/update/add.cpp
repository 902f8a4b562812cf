// The add command: one entry from standard input, added or updated, and confirmed by the
// directory before the command returns.
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "output/message.h"
#include "output/output.h"
#include "record/uuid.h"
#include "update/add_input.h"
#include "update/completion_waiter.h"
#include "update/entry_text.h"

namespace {

int32_t AddEntryCompletion(void *context, TarneEntry *entry, uint32_t, OlvaUUID cluster,
                           PEK_ReturnStatus status) {
  if (status != TARNE_STATUS_SUCCESS) {
    Message_Error("Failed to add entry " ENTRY_TEXT_FORMAT ": %s\n", ENTRY_TEXT_ARGS(entry),
                  PEK_ReturnStatusToString(status));
  } else {
    Message_Info(kVerbosityInfo,
                 "Successfully added entry: " ENTRY_TEXT_FORMAT " to cluster: (" UUID_TEXT_FORMAT
                 ")\n",
                 ENTRY_TEXT_ARGS(entry), UUID_TEXT_ARGS(cluster));
  }
  // The request owned the entry; it is gone before the waiter learns the status.
  std::free(entry);
  CompletionWaiter_Complete(static_cast<CompletionWaiter *>(context), status);
  return 0;
}

}  // namespace

int32_t Command_Add(const Settings &settings) {
  const TarneQuery &query = settings.query;
  TarneEntry *entry = nullptr;
  const PEK_ReturnStatus readStatus = AddInput_Read(stdin, Output_Err(), kAddMaxCapacity, &entry);
  if (readStatus != TARNE_STATUS_SUCCESS) {
    Message_Error("Failed to read stdin: %s\n", PEK_ReturnStatusToString(readStatus));
    return -1;
  }

  entry->uuid = query.uuid;
  entry->owner = query.owner;  // the self marker unless -o named an owner
  entry->revision = query.revision;
  entry->type = query.type & 0x7f;
  const uint32_t entryLength = entry->valueLen + static_cast<uint32_t>(sizeof(TarneEntry));

  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  const CompletionWaiterSettler settler(&waiter);
  CompletionWaiter_TakeSlot(&waiter);
  // Without -r the entry replaces whatever revision the directory holds.
  const bool anyRevision = (query.flags & TARNE_QUERY_ANY_REVISION) != 0;
  const PEK_ReturnStatus issued =
      anyRevision ? TARNE_UpdateEntryForCluster(entry, AddEntryCompletion, &waiter, query.cluster)
                  : TARNE_AddEntryForCluster(entry, AddEntryCompletion, &waiter, query.cluster);
  if (issued != TARNE_STATUS_SUCCESS) {
    AddEntryCompletion(&waiter, entry, entryLength, query.cluster, issued);
  }
  return CompletionWaiter_Wait(&waiter) == TARNE_STATUS_SUCCESS ? 0 : -1;
}
