// The writer: one thread that applies queued add, update and delete requests in batches,
// one transaction per batch, and calls each request's completion once the batch is durable.
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
#include "entry_store.h"

namespace olva::dir {

struct UpdateRequest {
  enum class Kind : uint8_t { kAdd, kUpdate, kDelete };
  Kind kind = Kind::kAdd;
  TarneEntry *entry = nullptr;  // the caller's, read when the request is applied
  TarneUpdateCompletion done = nullptr;
  void *context = nullptr;
  OlvaUUID givenCluster{};  // handed back to the completion as the caller gave it
  OlvaUUID cluster{};       // the sub-cluster the request changes
  OlvaUUID self{};          // what the self marker stands for
  bool heldEntry = false;   // the entry is one of the library's held entries
};

class UpdateQueue {
 public:
  static constexpr size_t kCapacity = 4096;
  static constexpr size_t kDefaultBatchLimit = 1024;

  UpdateQueue() = default;
  ~UpdateQueue() { Stop(); }
  UpdateQueue(const UpdateQueue &) = delete;
  UpdateQueue &operator=(const UpdateQueue &) = delete;

  // batchLimit: the most requests one transaction applies (1: a transaction per request).
  void Start(std::unique_ptr<EntryStore> store, size_t batchLimit);
  // Limit exceeded: the queue is full. No connection: the writer is not running.
  PEK_ReturnStatus Submit(const UpdateRequest &request);
  // Applies and completes every request already queued, then ends the writer.
  void Stop();
  // Transactions committed so far; raised before their completions run.
  uint64_t Commits() const { return commits_.load(std::memory_order_acquire); }

 private:
  struct Applied {
    UpdateRequest request;
    uint32_t entryLength = 0;
    PEK_ReturnStatus status = 0;
    uint64_t storedRevision = 0;  // an update's new revision, told to the caller on success
  };

  void Run();
  void ApplyBatch(std::vector<Applied> &batch);
  PEK_ReturnStatus Apply(Applied &applied);

  std::unique_ptr<EntryStore> store_;
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
