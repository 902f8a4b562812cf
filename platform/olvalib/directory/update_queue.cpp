#include "update_queue.h"

#include "callback_scope.h"
#include "client/tarne_status_codes.h"
#include "held_entries.h"

namespace olva::dir {

void UpdateQueue::Start(DirectoryStore *store, size_t batchLimit) {
  store_ = store;
  batchLimit_ = batchLimit == 0 ? kDefaultBatchLimit : batchLimit;
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    stopping_ = false;
  }
  writer_ = std::thread([this] { Run(); });
}

PEK_ReturnStatus UpdateQueue::Submit(const UpdateRequest &request) {
  {
    std::lock_guard lock(mutex_);
    if (!running_ || stopping_) return TARNE_STATUS_NO_CONNECTION;
    if (queue_.size() >= kCapacity) return TARNE_STATUS_LIMIT_EXCEEDED;
    queue_.push_back(request);
  }
  wake_.notify_one();
  return TARNE_STATUS_SUCCESS;
}

void UpdateQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    stopping_ = true;
  }
  wake_.notify_one();
  writer_.join();
  std::lock_guard lock(mutex_);
  running_ = false;
  store_ = nullptr;
}

void UpdateQueue::Run() {
  std::vector<AppliedUpdate> batch;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
      if (queue_.empty()) return;  // stopping, and everything queued is done
      while (!queue_.empty() && batch.size() < batchLimit_) {
        batch.push_back(AppliedUpdate{queue_.front()});
        queue_.pop_front();
      }
    }
    ApplyBatch(batch);
    for (AppliedUpdate &applied : batch) {
      const UpdateRequest &request = applied.request;
      if (request.done != nullptr) {
        CallbackScope scope;
        request.done(request.context, request.entry, applied.entryLength, request.givenCluster,
                     applied.status);
      }
      if (request.heldEntry) ReleaseHeld(request.entry);
    }
    batch.clear();
  }
}

void UpdateQueue::ApplyBatch(std::vector<AppliedUpdate> &batch) {
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
}

}  // namespace olva::dir
