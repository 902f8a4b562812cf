// The writer: one thread that hands queued add, update and delete requests to the store in
// batches and calls each request's completion once the store has made the batch durable.
#ifndef OLVALIB_DIRECTORY_UPDATE_QUEUE_H
#define OLVALIB_DIRECTORY_UPDATE_QUEUE_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "client/tarne_client.h"
#include "directory_store.h"

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
  PEK_ReturnStatus Submit(const UpdateRequest &request);
  // Applies and completes every request already queued, then ends the writer.
  void Stop();
  // Transactions committed so far; raised before their completions run.
  uint64_t Commits() const { return commits_.load(std::memory_order_acquire); }

 private:
  void Run();
  void ApplyBatch(std::vector<AppliedUpdate> &batch);

  DirectoryStore *store_ = nullptr;
  size_t batchLimit_ = kDefaultBatchLimit;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<UpdateRequest> queue_;
  bool running_ = false;
  bool stopping_ = false;
  std::thread writer_;
  std::atomic<uint64_t> commits_{0};
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_UPDATE_QUEUE_H
