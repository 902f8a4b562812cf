// The library's process-wide state between TARNE_Initialize and TARNE_Deinitialize: the
// directory's identity, its store, the writer and the task thread.
#ifndef OLVALIB_DIRECTORY_LIBRARY_H
#define OLVALIB_DIRECTORY_LIBRARY_H

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "directory_info.h"
#include "directory_store.h"
#include "task_thread.h"
#include "update_queue.h"

namespace olva::dir {

class Library {
 public:
  static Library &Instance();

  // No connection: the directory is missing, unreadable or not of this format; for a cluster
  // location, the node file cannot be read or no member answers in time.
  // Opening an open library only counts one more user.
  PEK_ReturnStatus Open();
  // No connection: not open. Busy: called from a callback that the library is running.
  PEK_ReturnStatus Close();

  // One operation of a caller; the library does not close while it runs.
  class Operation {
   public:
    Operation() : admitted_(Instance().Enter()) {}
    ~Operation() {
      if (admitted_) Instance().Leave();
    }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;
    // False: the library is closed or closing; the operation returns No connection.
    bool Admitted() const { return admitted_; }

   private:
    bool admitted_;
  };

  // A wait's watch, woken at once when the library starts closing; within an operation.
  class WaitScope {
   public:
    explicit WaitScope(ChangeWatch &watch) : watch_(watch) { Instance().AddWait(&watch_); }
    ~WaitScope() { Instance().RemoveWait(&watch_); }
    WaitScope(const WaitScope &) = delete;
    WaitScope &operator=(const WaitScope &) = delete;

   private:
    ChangeWatch &watch_;
  };

  // Valid while an operation runs, and on the library's own threads.
  const DirectoryInfo &Info() const { return info_; }
  DirectoryStore &Store() { return *store_; }
  UpdateQueue &Updates() { return updates_; }
  // The largest payload an add or update may carry; a larger one is refused at once.
  uint64_t MaxPayload() const { return store_->MaxPayload(); }
  TaskThread &Tasks() { return tasks_; }
  bool Closing() const { return closing_.load(std::memory_order_relaxed); }
  // Raised by every opening, so that what a thread kept from an earlier opening is not used.
  uint64_t Generation() const { return generation_.load(std::memory_order_relaxed); }

 private:
  Library() = default;
  bool Enter();
  void Leave();
  void AddWait(ChangeWatch *watch);
  void RemoveWait(ChangeWatch *watch);

  std::mutex mutex_;  // guards everything below but the threads' own state
  std::condition_variable idle_;
  int users_ = 0;
  int operations_ = 0;
  std::vector<ChangeWatch *> waits_;  // of the waits under way
  std::atomic<bool> closing_{false};
  std::atomic<uint64_t> generation_{0};
  DirectoryInfo info_;
  std::unique_ptr<DirectoryStore> store_;
  UpdateQueue updates_;
  TaskThread tasks_;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_LIBRARY_H
