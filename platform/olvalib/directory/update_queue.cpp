#include "update_queue.h"

#include "callback_scope.h"
#include "client/tarne_status_codes.h"
#include "held_entries.h"
#include "uuid_util.h"

namespace olva::dir {

void UpdateQueue::Start(std::unique_ptr<EntryStore> store, size_t batchLimit) {
  store_ = std::move(store);
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
  store_.reset();
}

void UpdateQueue::Run() {
  std::vector<Applied> batch;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
      if (queue_.empty()) return;  // stopping, and everything queued is done
      while (!queue_.empty() && batch.size() < batchLimit_) {
        batch.push_back(Applied{queue_.front()});
        queue_.pop_front();
      }
    }
    ApplyBatch(batch);
    for (Applied &applied : batch) {
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

void UpdateQueue::ApplyBatch(std::vector<Applied> &batch) {
  for (Applied &applied : batch) {
    applied.entryLength =
        static_cast<uint32_t>(sizeof(TarneEntry) + applied.request.entry->valueLen);
  }
  PEK_ReturnStatus batchFailure = TARNE_STATUS_SUCCESS;
  if (!store_->Begin()) {
    const int result = sqlite3_errcode(store_->connection().Handle()) & 0xff;
    batchFailure = result == SQLITE_BUSY ? TARNE_STATUS_BUSY : TARNE_STATUS_FAILURE;
  } else {
    for (Applied &applied : batch) {
      applied.status = Apply(applied);
      if (IsStoreFailure(applied.status)) {
        batchFailure = applied.status;
        break;
      }
    }
    if (batchFailure != TARNE_STATUS_SUCCESS) {
      store_->Rollback();
    } else if (!store_->Commit()) {
      batchFailure = TARNE_STATUS_FAILURE;
      store_->Rollback();
    } else {
      commits_.fetch_add(1, std::memory_order_release);
    }
  }
  // Nothing of a failed transaction is in the database, so no request of it succeeded.
  if (batchFailure != TARNE_STATUS_SUCCESS) {
    for (Applied &applied : batch) applied.status = batchFailure;
    return;
  }
  // The caller of an update learns the revision its entry was stored under.
  for (Applied &applied : batch) {
    if (applied.request.kind == UpdateRequest::Kind::kUpdate &&
        applied.status == TARNE_STATUS_SUCCESS) {
      applied.request.entry->revision = applied.storedRevision;
    }
  }
}

PEK_ReturnStatus UpdateQueue::Apply(Applied &applied) {
  UpdateRequest &request = applied.request;
  const TarneEntry &header = *request.entry;
  EntryKey key = KeyOfHeader(header);
  key.owner = ResolveOwner(header.owner, request.self);
  key.cluster = request.cluster;
  const std::span<const uint8_t> value(TarneEntry_Payload(request.entry), header.valueLen);
  switch (request.kind) {
    case UpdateRequest::Kind::kAdd:
      return store_->Insert(key, header, value);
    case UpdateRequest::Kind::kUpdate: {
      const PEK_ReturnStatus status = store_->InsertNextRevision(&key, header, value);
      applied.storedRevision = key.revision;
      return status;
    }
    case UpdateRequest::Kind::kDelete: {
      const std::optional<OlvaUUID> owner =
          IsNullUuid(header.owner) ? std::nullopt : std::optional<OlvaUUID>(key.owner);
      const std::optional<uint64_t> revision =
          header.revision == 0 ? std::nullopt : std::optional<uint64_t>(header.revision);
      return store_->Remove(key.uuid, owner, key.type, revision, key.cluster);
    }
  }
  return TARNE_STATUS_BAD_PARAMETER;
}

}  // namespace olva::dir
