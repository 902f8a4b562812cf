#include "library.h"

#include "callback_scope.h"
#include "client/tarne_status_codes.h"
#include "directory_location.h"

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
  const std::string path = DirectoryPath();
  std::string error;
  std::unique_ptr<Connection> reader =
      Connection::Open(path, Connection::OpenMode::kExisting, &error);
  if (reader == nullptr) return TARNE_STATUS_NO_CONNECTION;
  DirectoryInfo info;
  if (!ReadDirectoryInfo(*reader, &info, &error)) return TARNE_STATUS_NO_CONNECTION;
  std::unique_ptr<Connection> writer =
      Connection::Open(path, Connection::OpenMode::kExisting, &error);
  if (writer == nullptr) return TARNE_STATUS_NO_CONNECTION;

  path_ = path;
  info_ = std::move(info);
  maxPayload_ = writer->MaxValueBytes();
  pool_.push_back(std::make_unique<EntryStore>(std::move(reader)));
  updates_.Start(
      std::make_unique<EntryStore>(std::move(writer)),
      BatchLimitFromEnvironment(UpdateQueue::kDefaultBatchLimit, UpdateQueue::kCapacity));
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
    // Waits end within one poll; an iteration ends once its visitor returns.
    idle_.wait(lock, [this] { return operations_ == 0; });
  }
  // No caller operation runs now and none starts: the threads finish what they hold.
  tasks_.Stop();
  updates_.Stop();
  std::lock_guard lock(mutex_);
  pool_.clear();
  info_ = DirectoryInfo{};
  path_.clear();
  closing_ = false;
  return TARNE_STATUS_SUCCESS;
}

bool Library::Enter() {
  std::lock_guard lock(mutex_);
  if (users_ == 0 || closing_) return false;
  ++operations_;
  return true;
}

void Library::Leave() {
  std::lock_guard lock(mutex_);
  if (--operations_ == 0) idle_.notify_all();
}

Library::StoreLease Library::LeaseStore() {
  std::string path;
  {
    std::lock_guard lock(mutex_);
    if (!pool_.empty()) {
      std::unique_ptr<EntryStore> store = std::move(pool_.back());
      pool_.pop_back();
      return StoreLease(std::move(store));
    }
    path = path_;
  }
  std::string error;
  std::unique_ptr<Connection> connection =
      Connection::Open(path, Connection::OpenMode::kExisting, &error);
  if (connection == nullptr) return StoreLease(nullptr);
  return StoreLease(std::make_unique<EntryStore>(std::move(connection)));
}

void Library::GiveBack(std::unique_ptr<EntryStore> store) {
  std::lock_guard lock(mutex_);
  pool_.push_back(std::move(store));
}

Library::StoreLease::~StoreLease() {
  if (store_ != nullptr) Instance().GiveBack(std::move(store_));
}

}  // namespace olva::dir
