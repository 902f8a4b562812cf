// One library thread that runs queued tasks one after another (the remote finds), so that
// the callbacks of one task never run beside each other or beside another task's.
#ifndef OLVALIB_DIRECTORY_TASK_THREAD_H
#define OLVALIB_DIRECTORY_TASK_THREAD_H

#include <functional>

#include "client/tarne_client.h"
#include "worker_queue.h"

namespace olva::dir {

class TaskThread {
 public:
  // cancelled: the thread is stopping and the task should only report its end.
  using Task = std::function<void(bool cancelled)>;
  static constexpr size_t kCapacity = 256;

  void Start() {
    worker_.Start(1, [](std::vector<Task> &batch, bool cancelled) { batch.front()(cancelled); });
  }
  // Limit exceeded: the queue is full. No connection: the thread is not running.
  PEK_ReturnStatus Submit(Task task) { return worker_.Submit(std::move(task)); }
  // The running task sees Stopping() and ends early; tasks still queued run cancelled.
  void Stop() { worker_.Stop(); }
  bool Stopping() const { return worker_.Stopping(); }

 private:
  WorkerQueue<Task> worker_{kCapacity};
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_TASK_THREAD_H
