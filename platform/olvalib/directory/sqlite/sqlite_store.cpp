#include "sqlite_store.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "client/tarne_status_codes.h"
#include "directory/change_wait.h"
#include "directory/uuid_util.h"

namespace olva::dir {
namespace {

// Idles between reads of the database's data version, which any connection's commit raises:
// one cheap pragma per interval, no lookup.
class DataVersionWatch final : public ChangeWatch {
 public:
  explicit DataVersionWatch(SqliteStore::Lease lease) : lease_(std::move(lease)) {}

  bool Mark() override { return lease_->connection().DataVersion(&seen_); }

  Outcome WaitForChange(std::chrono::steady_clock::duration pause) override {
    // Closing is seen by the next poll.
    if (interrupted_.load(std::memory_order_relaxed)) return Outcome::kQuiet;
    std::this_thread::sleep_for(
        std::min(pause, std::chrono::steady_clock::duration(kChangePollInterval)));
    int64_t version = 0;
    if (!lease_->connection().DataVersion(&version)) return Outcome::kFailed;
    return version != seen_ ? Outcome::kChanged : Outcome::kQuiet;
  }

  void Interrupt() override { interrupted_.store(true, std::memory_order_relaxed); }

 private:
  SqliteStore::Lease lease_;
  int64_t seen_ = 0;
  std::atomic<bool> interrupted_{false};
};

}  // namespace

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string &path, DirectoryInfo *info,
                                               std::string *error) {
  std::unique_ptr<Connection> reader =
      Connection::Open(path, Connection::OpenMode::kExisting, error);
  if (reader == nullptr || !ReadDirectoryInfo(*reader, info, error)) return nullptr;
  return std::unique_ptr<SqliteStore>(
      new SqliteStore(path, std::make_unique<EntryStore>(std::move(reader))));
}

SqliteStore::SqliteStore(std::string path, std::unique_ptr<EntryStore> reader)
    : path_(std::move(path)), maxPayload_(reader->connection().MaxValueBytes()) {
  pool_.push_back(std::move(reader));
}

SqliteStore::Lease SqliteStore::LeaseReader() {
  {
    std::lock_guard lock(mutex_);
    if (!pool_.empty()) {
      std::unique_ptr<EntryStore> store = std::move(pool_.back());
      pool_.pop_back();
      return Lease(this, std::move(store));
    }
  }
  std::string error;
  std::unique_ptr<Connection> connection =
      Connection::Open(path_, Connection::OpenMode::kExisting, &error);
  if (connection == nullptr) return Lease(this, nullptr);
  return Lease(this, std::make_unique<EntryStore>(std::move(connection)));
}

SqliteStore::Lease::~Lease() {
  if (store_ == nullptr) return;
  std::lock_guard lock(owner_->mutex_);
  owner_->pool_.push_back(std::move(store_));
}

PEK_ReturnStatus SqliteStore::Scan(const MatchCriteria &criteria,
                                   const std::optional<EntryKey> &after, uint32_t limit,
                                   const RowSink &sink) {
  Lease store = LeaseReader();
  if (!store) return TARNE_STATUS_FAILURE;
  return store->Scan(criteria, after, limit, sink);
}

std::optional<uint64_t> SqliteStore::CountEntries() {
  Lease store = LeaseReader();
  if (!store) return std::nullopt;
  return store->CountEntries();
}

PEK_ReturnStatus SqliteStore::ReadSnapshot(const RowSink &sink, const std::function<bool()> &) {
  // One statement reads inside one read transaction: one moment of the file.
  return Scan(MatchCriteria{}, std::nullopt, UINT32_MAX, sink);
}

std::unique_ptr<ChangeWatch> SqliteStore::WatchChanges() {
  Lease store = LeaseReader();
  if (!store) return nullptr;
  return std::make_unique<DataVersionWatch>(std::move(store));
}

bool SqliteStore::ApplyBatch(std::span<AppliedUpdate> batch) {
  PEK_ReturnStatus batchFailure = TARNE_STATUS_SUCCESS;
  bool committed = false;
  if (writer_ == nullptr) {
    std::string error;  // the callers learn only the status
    std::unique_ptr<Connection> connection =
        Connection::Open(path_, Connection::OpenMode::kExisting, &error);
    if (connection != nullptr) writer_ = std::make_unique<EntryStore>(std::move(connection));
  }
  if (writer_ == nullptr) {
    batchFailure = TARNE_STATUS_FAILURE;
  } else if (!writer_->Begin()) {
    const int result = sqlite3_errcode(writer_->connection().Handle()) & 0xff;
    batchFailure = result == SQLITE_BUSY ? TARNE_STATUS_BUSY : TARNE_STATUS_FAILURE;
  } else {
    for (AppliedUpdate &applied : batch) {
      applied.status = Apply(applied);
      if (IsStoreFailure(applied.status)) {
        batchFailure = applied.status;
        break;
      }
    }
    if (batchFailure != TARNE_STATUS_SUCCESS) {
      writer_->Rollback();
    } else if (!writer_->Commit()) {
      batchFailure = TARNE_STATUS_FAILURE;
      writer_->Rollback();
    } else {
      committed = true;
    }
  }
  // Nothing of a failed transaction is in the database, so no request of it succeeded.
  if (batchFailure != TARNE_STATUS_SUCCESS) {
    for (AppliedUpdate &applied : batch) applied.status = batchFailure;
  }
  return committed;
}

PEK_ReturnStatus SqliteStore::Apply(AppliedUpdate &applied) {
  UpdateRequest &request = applied.request;
  const TarneEntry &header = *request.entry;
  EntryKey key = KeyOfRequest(request);
  const std::span<const uint8_t> value(TarneEntry_Payload(request.entry), header.valueLen);
  switch (request.kind) {
    case UpdateRequest::Kind::kAdd:
      return writer_->Insert(key, header, value);
    case UpdateRequest::Kind::kUpdate: {
      const PEK_ReturnStatus status = writer_->InsertNextRevision(&key, header, value);
      applied.storedRevision = key.revision;
      return status;
    }
    case UpdateRequest::Kind::kDelete: {
      const std::optional<OlvaUUID> owner =
          IsNullUuid(header.owner) ? std::nullopt : std::optional<OlvaUUID>(key.owner);
      const std::optional<uint64_t> revision =
          header.revision == 0 ? std::nullopt : std::optional<uint64_t>(header.revision);
      return writer_->Remove(key.uuid, owner, key.type, revision, key.cluster);
    }
  }
  return TARNE_STATUS_BAD_PARAMETER;
}

}  // namespace olva::dir
