#include "library.h"

#include <algorithm>

#include "callback_scope.h"
#include "client/tarne_status_codes.h"
#include "directory_location.h"
#include "host_location.h"
#include "store_opener.h"

namespace olva::dir {

Library &Library::Instance() {
  static Library *library = new Library;  // never destroyed: threads may outlive main
  return *library;
}

PEK_ReturnStatus Library::Open() {
  std::lock_guard lock(mutex_);
  if (closing_) return TARNE_STATUS_BUSY;
  if (users_ > 0) {
    ++users_;
    return TARNE_STATUS_SUCCESS;
  }
  DirectoryInfo info;
  std::string error;  // the caller learns only the status
  std::string location;
  if (!HostDirectoryLocation(&location, &error)) return TARNE_STATUS_NO_CONNECTION;
  std::unique_ptr<DirectoryStore> store = OpenDirectoryStore(location, NodePath(), &info, &error);
  if (store == nullptr) return TARNE_STATUS_NO_CONNECTION;

  info_ = std::move(info);
  store_ = std::move(store);
  updates_.Start(store_.get(), BatchLimitFromEnvironment(UpdateQueue::kDefaultBatchLimit,
                                                         UpdateQueue::kCapacity));
  tasks_.Start();
  generation_.fetch_add(1, std::memory_order_relaxed);
  users_ = 1;
  return TARNE_STATUS_SUCCESS;
}

PEK_ReturnStatus Library::Close() {
  // Closing waits for the callbacks in progress, this one among them.
  if (CallbackScope::Active()) return TARNE_STATUS_BUSY;
  {
    std::unique_lock lock(mutex_);
    if (users_ == 0 || closing_) return TARNE_STATUS_NO_CONNECTION;
    if (--users_ > 0) return TARNE_STATUS_SUCCESS;
    closing_ = true;
    // Waits end at once; an iteration ends once its visitor returns.
    for (ChangeWatch *watch : waits_) watch->Interrupt();
    idle_.wait(lock, [this] { return operations_ == 0; });
  }
  // No caller operation runs now and none starts: the threads finish what they hold.
  tasks_.Stop();
  updates_.Stop();
  std::lock_guard lock(mutex_);
  store_.reset();
  info_ = DirectoryInfo{};
  closing_ = false;
  return TARNE_STATUS_SUCCESS;
}

bool Library::Enter() {
  std::lock_guard lock(mutex_);
  if (users_ == 0 || closing_) return false;
  ++operations_;
  return true;
}

void Library::AddWait(ChangeWatch *watch) {
  std::lock_guard lock(mutex_);
  waits_.push_back(watch);
  if (closing_) watch->Interrupt();
}

void Library::RemoveWait(ChangeWatch *watch) {
  std::lock_guard lock(mutex_);
  waits_.erase(std::find(waits_.begin(), waits_.end(), watch));
}

void Library::Leave() {
  std::lock_guard lock(mutex_);
  if (--operations_ == 0) idle_.notify_all();
}

}  // namespace olva::dir
