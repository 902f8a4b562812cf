#include "update_queue.h"

#include "callback_scope.h"
#include "client/tarne_status_codes.h"
#include "held_entries.h"

namespace olva::dir {

void UpdateQueue::Start(DirectoryStore *store, size_t batchLimit) {
  store_ = store;
  writer_.Start(batchLimit == 0 ? kDefaultBatchLimit : batchLimit,
                [this](std::vector<AppliedUpdate> &batch, bool) { ApplyAndComplete(batch); });
}

void UpdateQueue::Stop() {
  writer_.Stop();
  store_ = nullptr;
}

void UpdateQueue::ApplyAndComplete(std::vector<AppliedUpdate> &batch) {
  for (AppliedUpdate &applied : batch) {
    applied.entryLength =
        static_cast<uint32_t>(sizeof(TarneEntry) + applied.request.entry->valueLen);
  }
  if (store_->ApplyBatch(batch)) commits_.fetch_add(1, std::memory_order_release);
  // The caller of an update learns the revision its entry was stored under.
  for (AppliedUpdate &applied : batch) {
    if (applied.request.kind == UpdateRequest::Kind::kUpdate &&
        applied.status == TARNE_STATUS_SUCCESS) {
      applied.request.entry->revision = applied.storedRevision;
    }
  }
  for (AppliedUpdate &applied : batch) {
    const UpdateRequest &request = applied.request;
    if (request.done != nullptr) {
      CallbackScope scope;
      request.done(request.context, request.entry, applied.entryLength, request.givenCluster,
                   applied.status);
    }
    if (request.heldEntry) ReleaseHeld(request.entry);
  }
}

}  // namespace olva::dir
