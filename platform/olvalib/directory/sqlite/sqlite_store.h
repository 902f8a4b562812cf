// The directory in one SQLite file shared by the processes of a host: a pool of reading
// connections, one per thread at a time, and the writer's own connection.
#ifndef OLVALIB_DIRECTORY_SQLITE_STORE_H
#define OLVALIB_DIRECTORY_SQLITE_STORE_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "directory/directory_store.h"
#include "directory/read_ahead.h"
#include "directory_schema.h"
#include "entry_store.h"

namespace olva::dir {

class SqliteStore final : public DirectoryStore {
 public:
  // Nothing, and *error, when the file is missing, cannot be opened or is not a directory of
  // this format.
  static std::unique_ptr<SqliteStore> Open(const std::string &path, DirectoryInfo *info,
                                           std::string *error);

  PEK_ReturnStatus Scan(const MatchCriteria &criteria, const std::optional<EntryKey> &after,
                        uint32_t limit, const RowSink &sink) override;
  std::unique_ptr<ChangeWatch> WatchChanges() override;
  bool ApplyBatch(std::span<AppliedUpdate> batch) override;
  uint64_t MaxPayload() const override { return maxPayload_; }
  PageSize ListingPage() const override { return {kReadAheadRows, kReadAheadBytes}; }
  std::optional<uint64_t> CountEntries() override;
  PEK_ReturnStatus ReadSnapshot(const RowSink &sink,
                                const std::function<bool()> &beginAgain) override;

  // A reading connection for one step; given back to the pool when the lease ends.
  class Lease {
   public:
    Lease(SqliteStore *owner, std::unique_ptr<EntryStore> store)
        : owner_(owner), store_(std::move(store)) {}
    ~Lease();
    Lease(Lease &&) = default;
    Lease &operator=(Lease &&) = delete;
    EntryStore *operator->() const { return store_.get(); }
    explicit operator bool() const { return store_ != nullptr; }

   private:
    SqliteStore *owner_;
    std::unique_ptr<EntryStore> store_;
  };
  Lease LeaseReader();

 private:
  SqliteStore(std::string path, std::unique_ptr<EntryStore> reader);
  PEK_ReturnStatus Apply(AppliedUpdate &applied);

  const std::string path_;
  // The writer thread's alone, opened by its first batch: a command that only reads never
  // pays for a second connection.
  std::unique_ptr<EntryStore> writer_;
  uint64_t maxPayload_;
  std::mutex mutex_;  // guards the pool
  std::vector<std::unique_ptr<EntryStore>> pool_;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_SQLITE_STORE_H
