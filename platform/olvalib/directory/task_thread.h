// One library thread that runs queued tasks one after another (the remote finds), so that
// the callbacks of one task never run beside each other or beside another task's.
#ifndef OLVALIB_DIRECTORY_TASK_THREAD_H
#define OLVALIB_DIRECTORY_TASK_THREAD_H

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "client/tarne_client.h"

namespace olva::dir {

class TaskThread {
 public:
  // cancelled: the thread is stopping and the task should only report its end.
  using Task = std::function<void(bool cancelled)>;
  static constexpr size_t kCapacity = 256;

  TaskThread() = default;
  ~TaskThread() { Stop(); }
  TaskThread(const TaskThread &) = delete;
  TaskThread &operator=(const TaskThread &) = delete;

  void Start();
  // Limit exceeded: the queue is full. No connection: the thread is not running.
  PEK_ReturnStatus Submit(Task task);
  // The running task sees Stopping() and ends early; tasks still queued run cancelled.
  void Stop();
  bool Stopping() const { return stopping_.load(std::memory_order_relaxed); }

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> queue_;
  bool running_ = false;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_TASK_THREAD_H
