#include "task_thread.h"

#include "client/tarne_status_codes.h"

namespace olva::dir {

void TaskThread::Start() {
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    stopping_ = false;
  }
  thread_ = std::thread([this] { Run(); });
}

PEK_ReturnStatus TaskThread::Submit(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (!running_ || stopping_) return TARNE_STATUS_NO_CONNECTION;
    if (queue_.size() >= kCapacity) return TARNE_STATUS_LIMIT_EXCEEDED;
    queue_.push_back(std::move(task));
  }
  wake_.notify_one();
  return TARNE_STATUS_SUCCESS;
}

void TaskThread::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
  std::lock_guard lock(mutex_);
  running_ = false;
}

void TaskThread::Run() {
  for (;;) {
    Task task;
    bool cancelled;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !queue_.empty() || stopping_; });
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
      cancelled = stopping_;
    }
    task(cancelled);
  }
}

}  // namespace olva::dir
