// The remoteFind command: an asynchronous search of one owner's local entries, each result
// printed as a listing of its own as it arrives.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"
#include "content/convert.h"
#include "output/formats.h"
#include "output/message.h"
#include "record/uuid.h"
#include "tables/entry_types.h"
#include "update/completion_waiter.h"

namespace {

// Reports the end of the search ("Not found" is the normal end) and completes the waiter.
void RemoteFindFinished(CompletionWaiter *waiter, PEK_ReturnStatus status) {
  if (status == TARNE_STATUS_NOT_FOUND) {
    Message_Info(kVerbosityInfo, "Finished async find entry\n");
  } else {
    Message_Error("Async find entry failed: %s\n", PEK_ReturnStatusToString(status));
  }
  CompletionWaiter_Complete(waiter, status);
}

// Fetches one delivered result in full and prints it. Runs on the library's thread.
void PrintResult(const TarneEntry &header) {
  PrintContext context{nullptr, 1};
  // The size is 32-bit, as the library takes it.
  const uint32_t size = static_cast<uint32_t>(sizeof(TarneEntry)) + header.valueLen;
  // A payload so long that the size wraps cannot be held: treated as an allocation failure.
  const bool wraps = size < header.valueLen;
  auto *entry = wraps ? nullptr : static_cast<TarneEntry *>(std::malloc(size));
  if (entry == nullptr) {
    Message_Error("Failed to alloate entry buffer of %u bytes\n", size);
    return;
  }

  const TarneQuery exact = MakeExactQuery(header, OlvaUUID{});
  const PEK_ReturnStatus found = TARNE_FindEntryRF(&exact, 0, entry, size);
  // The entry may have grown since it was delivered; a cut payload is never printed.
  if (found == TARNE_STATUS_SUCCESS && entry->valueLen <= size - sizeof(TarneEntry)) {
    const OutputFormat *format = OutputFormats_Selected(CurrentSettings().formatNumber);
    format->listBegin();
    ConvertAndPrintEntry(&context, entry, format);
    format->listEnd();
  } else if (found == TARNE_STATUS_NOT_FOUND) {
    Message_Error("Failed to find matching entry: %s\n", PEK_ReturnStatusToString(found));
  }
  std::free(entry);
}

int32_t RemoteFindResult(void *context, const TarneEntry *header, void *, PEK_ReturnStatus status) {
  if (status != TARNE_STATUS_SUCCESS) {
    RemoteFindFinished(static_cast<CompletionWaiter *>(context), status);
  } else {
    PrintResult(*header);
  }
  return 0;
}

// The parameter checks; false after writing why to standard error.
bool CheckParameters(const TarneQuery &query) {
  if ((query.flags & TARNE_QUERY_ANY_OWNER) != 0 || TarneUuid_IsNull(query.owner)) {
    Message_Error("-o <owner-uuid> is mandatory param for async find\n");
    return false;
  }
  if ((query.flags & TARNE_QUERY_ANY_TYPE) != 0 || query.type != kEntryTypeLocalSymbol) {
    Message_Error("valid remote entry type is necessary for async find\n");
    return false;
  }
  return true;
}

}  // namespace

int32_t Command_RemoteFind(const Settings &settings) {
  const TarneQuery &query = settings.query;
  if (!CheckParameters(query)) return static_cast<int32_t>(TARNE_STATUS_BAD_PARAMETER);

  TarneRemoteFindRequest request{};
  request.owner = query.owner;
  request.type = kEntryTypeLocalSymbol;
  request.uuid = query.uuid;  // all zero without -u

  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  const CompletionWaiterSettler settler(&waiter);
  CompletionWaiter_TakeSlot(&waiter);
  const PEK_ReturnStatus issued =
      TARNE_RemoteFindEntry(&request, settings.timeout, RemoteFindResult, &waiter);
  if (issued != TARNE_STATUS_SUCCESS) {
    RemoteFindFinished(&waiter, issued);
    return -1;
  }
  const PEK_ReturnStatus status = CompletionWaiter_Wait(&waiter);
  return status == TARNE_STATUS_SUCCESS || status == TARNE_STATUS_NOT_FOUND ? 0 : -1;
}
