// One library thread that takes queued items in order and hands them to a handler, at most
// batchLimit at a time, so that no two batches ever run beside each other. The writer and the
// remote-find thread are both this queue; only what they do with a batch differs.
#ifndef OLVALIB_DIRECTORY_WORKER_QUEUE_H
#define OLVALIB_DIRECTORY_WORKER_QUEUE_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

namespace olva::dir {

template <typename Item>
class WorkerQueue {
 public:
  // Runs on the worker thread. cancelled: Stop was called before the batch was taken; every
  // item queued before Stop is still handed over, so that each caller learns its end.
  using Handler = std::function<void(std::vector<Item> &batch, bool cancelled)>;

  explicit WorkerQueue(size_t capacity) : capacity_(capacity) {}
  ~WorkerQueue() { Stop(); }
  WorkerQueue(const WorkerQueue &) = delete;
  WorkerQueue &operator=(const WorkerQueue &) = delete;

  // batchLimit: the most items one batch holds (at least 1). The thread itself starts with
  // the first item: most commands of a process never queue one, and a thread costs start-up.
  void Start(size_t batchLimit, Handler handler) {
    batchLimit_ = batchLimit == 0 ? 1 : batchLimit;
    handler_ = std::move(handler);
    std::lock_guard lock(mutex_);
    running_ = true;
    stopping_ = false;
  }

  // Limit exceeded: the queue is full. No connection: the worker is not running.
  PEK_ReturnStatus Submit(Item item) {
    {
      std::lock_guard lock(mutex_);
      if (!running_ || stopping_) return TARNE_STATUS_NO_CONNECTION;
      if (queue_.size() >= capacity_) return TARNE_STATUS_LIMIT_EXCEEDED;
      queue_.push_back(std::move(item));
      if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
    return TARNE_STATUS_SUCCESS;
  }

  // Hands every item already queued to the handler, then ends the worker.
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      if (!running_) return;
      stopping_ = true;
    }
    wake_.notify_one();
    // No item, and so no thread, can come once stopping_ is set under the lock.
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    running_ = false;
  }

  // For a handler that can end its work early once Stop has been called.
  bool Stopping() const { return stopping_.load(std::memory_order_relaxed); }

 private:
  void Run() {
    std::vector<Item> batch;
    for (;;) {
      bool cancelled;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
        if (queue_.empty()) return;  // stopping, and everything queued is done
        while (!queue_.empty() && batch.size() < batchLimit_) {
          batch.push_back(std::move(queue_.front()));
          queue_.pop_front();
        }
        cancelled = stopping_;
      }
      handler_(batch, cancelled);
      batch.clear();
    }
  }

  const size_t capacity_;
  size_t batchLimit_ = 1;
  Handler handler_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Item> queue_;
  bool running_ = false;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_WORKER_QUEUE_H
