// The delete command: every matching entry, or one fully identified entry, deleted and
// confirmed by the directory before the command returns.
#include <cstdio>

#include "cli/commands.h"
#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "output/message.h"
#include "record/uuid.h"
#include "update/completion_waiter.h"
#include "update/delete_confirm.h"
#include "update/entry_text.h"

namespace {

// The entry belongs to the library's iteration or to the command; it is not freed here.
int32_t DeleteEntryCompletion(void *context, TarneEntry *entry, uint32_t, OlvaUUID cluster,
                              PEK_ReturnStatus status) {
  if (status != TARNE_STATUS_SUCCESS) {
    Message_Error("Failed to delete entry " ENTRY_TEXT_FORMAT ": %s\n", ENTRY_TEXT_ARGS(entry),
                  PEK_ReturnStatusToString(status));
  } else {
    Message_Info(kVerbosityInfo,
                 "Successfully deleted entry: " ENTRY_TEXT_FORMAT
                 " from cluster: (" UUID_TEXT_FORMAT ")\n",
                 ENTRY_TEXT_ARGS(entry), UUID_TEXT_ARGS(cluster));
  }
  CompletionWaiter_Complete(static_cast<CompletionWaiter *>(context), status);
  return 0;
}

// Called by the iteration once per match, one at a time; blocks on the throttle while 900
// deletions are in flight, so the iteration is paced by the completions.
int32_t RequestEntryDeletion(void *context, const TarneEntry *entry, uint32_t entryLength,
                             OlvaUUID cluster) {
  auto *waiter = static_cast<CompletionWaiter *>(context);
  CompletionWaiter_TakeSlot(waiter);
  Message_Info(kVerbosityEachDeletion, "Requesting deletion of entry " ENTRY_TEXT_FORMAT "\n",
               ENTRY_TEXT_ARGS(entry));
  // The delete operation takes a mutable entry but only reads it.
  auto *mutableEntry = const_cast<TarneEntry *>(entry);
  const PEK_ReturnStatus issued =
      TARNE_DeleteEntryForCluster(mutableEntry, DeleteEntryCompletion, waiter, cluster);
  if (issued != TARNE_STATUS_SUCCESS) {
    DeleteEntryCompletion(waiter, mutableEntry, entryLength, cluster, issued);
  }
  return 0;
}

}  // namespace

int32_t Command_Delete(const Settings &settings) {
  const TarneQuery &query = settings.query;
  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  // Lives until every deletion has completed: the direct deletion request refers to it.
  TarneEntry header{};
  // Also when the iteration fails: deletions already requested are not waited for, but they
  // still report to the waiter and must finish before it goes out of scope.
  const CompletionWaiterSettler settler(&waiter);

  constexpr uint8_t kIdentifyingWildcards =
      TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_REVISION | TARNE_QUERY_ANY_TYPE;
  if ((query.flags & kIdentifyingWildcards) == 0) {
    // -u, -t and -r name exactly one entry: delete it without looking it up. Its owner
    // stays all zero whatever -o says.
    header.uuid = query.uuid;
    header.type = query.type & 0x7f;
    header.revision = query.revision;
    RequestEntryDeletion(&waiter, &header, sizeof header, query.cluster);
  } else {
    const PEK_ReturnStatus iterated =
        TARNE_ForEachEntryForCluster(&query, RequestEntryDeletion, &waiter, 0, 0, 0);
    if (iterated != TARNE_STATUS_SUCCESS) {
      Message_Error("Failed to delete one or more entries: %s\n",
                    PEK_ReturnStatusToString(iterated));
      return -1;
    }
    if (waiter.expected == 0) {
      Message_Info(kVerbosityInfo, "Failed to find a matching entry\n");
      return 0;
    }
  }
  return CompletionWaiter_Wait(&waiter) == TARNE_STATUS_SUCCESS ? 0 : -1;
}

CommandCheckResult Command_CheckDelete(Settings &settings) {
  const uint8_t flags = settings.query.flags;
  if ((flags & TARNE_QUERY_ANY_UUID) == 0 || (flags & TARNE_QUERY_ANY_TYPE) == 0) {
    return CommandCheckResult::kPassed;
  }
  // Neither -u nor -t: everything would go, so ask first, before the library is opened.
  if (Delete_ConfirmAll(stdin, stderr) != DeleteConfirmation::kConfirmed) {
    return CommandCheckResult::kRefused;
  }
  return CommandCheckResult::kPassedWithoutFormatCheck;
}
