// The writer: one thread that hands queued add, update and delete requests to the store in
// batches and calls each request's completion once the store has made the batch durable.
#ifndef OLVALIB_DIRECTORY_UPDATE_QUEUE_H
#define OLVALIB_DIRECTORY_UPDATE_QUEUE_H

#include <atomic>
#include <cstdint>
#include <vector>

#include "client/tarne_client.h"
#include "directory_store.h"
#include "worker_queue.h"

namespace olva::dir {

class UpdateQueue {
 public:
  static constexpr size_t kCapacity = 4096;
  static constexpr size_t kDefaultBatchLimit = 1024;

  UpdateQueue() = default;
  ~UpdateQueue() { Stop(); }
  UpdateQueue(const UpdateQueue &) = delete;
  UpdateQueue &operator=(const UpdateQueue &) = delete;

  // batchLimit: the most requests one batch holds (1: a batch per request). The store
  // outlives the writer: Stop comes first.
  void Start(DirectoryStore *store, size_t batchLimit);
  // Limit exceeded: the queue is full. No connection: the writer is not running.
  PEK_ReturnStatus Submit(const UpdateRequest &request) {
    return writer_.Submit(AppliedUpdate{request});
  }
  // Applies and completes every request already queued, then ends the writer.
  void Stop();
  // Transactions committed so far; raised before their completions run.
  uint64_t Commits() const { return commits_.load(std::memory_order_acquire); }

 private:
  void ApplyAndComplete(std::vector<AppliedUpdate> &batch);

  DirectoryStore *store_ = nullptr;
  std::atomic<uint64_t> commits_{0};
  WorkerQueue<AppliedUpdate> writer_{kCapacity};  // last: its thread ends before the rest go
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_UPDATE_QUEUE_H
