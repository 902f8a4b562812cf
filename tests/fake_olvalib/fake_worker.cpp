// The fake's worker thread: completions and remote-find results arrive on it, never on the
// caller's thread, as they do from the real library.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>

#include "fake_state.h"

namespace fake {
namespace {

struct Task {
  uint32_t delayMs;
  std::function<void()> run;
};

class Worker {
 public:
  ~Worker() { Stop(); }

  void Post(Task task) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
    if (!thread_.joinable()) {
      stopping_ = false;
      thread_ = std::thread([this] { Loop(); });
    }
    wake_.notify_one();
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.clear();
      stopping_ = true;
      wake_.notify_one();
    }
    if (!thread_.joinable()) return;
    // A process that ends from inside a callback cannot wait for itself.
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      Task task = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      if (task.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(task.delayMs));
      task.run();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

Worker worker;

}  // namespace

void RunLater(uint32_t delayMs, std::function<void()> task) {
  worker.Post(Task{delayMs, std::move(task)});
}

void StopWorker() {
  worker.Stop();
}

}  // namespace fake
