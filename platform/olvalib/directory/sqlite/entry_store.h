// Reads and writes of entry rows over one connection. Not shared between threads.
#ifndef OLVALIB_DIRECTORY_ENTRY_STORE_H
#define OLVALIB_DIRECTORY_ENTRY_STORE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "client/tarne_client.h"
#include "directory/directory_store.h"
#include "directory/entry_key.h"
#include "query_plan.h"
#include "sqlite_connection.h"

namespace olva::dir {

class EntryStore {
 public:
  explicit EntryStore(std::unique_ptr<Connection> connection)
      : connection_(std::move(connection)) {}

  Connection &connection() { return *connection_; }

  // Hands the sink up to limit matches that follow the cursor (all matches from the first
  // without one), in the query's order; the sink returns false to stop early.
  // Failure: the database could not be read.
  using RowSink = dir::RowSink;
  PEK_ReturnStatus Scan(const MatchCriteria &criteria, const std::optional<EntryKey> &after,
                        uint32_t limit, const RowSink &sink);

  // The writes run inside a transaction that the caller opened with Begin.
  bool Begin();  // takes the write lock at once, waiting out other writers
  bool Commit();
  void Rollback();

  // Stores the row with the key's own revision. Already exists: that revision is there.
  // Limit exceeded: the value is larger than the connection's MaxValueBytes().
  PEK_ReturnStatus Insert(const EntryKey &key, const TarneEntry &header,
                          std::span<const uint8_t> value);
  // Stores the row as the next revision of its entry in its sub-cluster (the latest plus one,
  // or 1) and drops the older ones; key->revision receives the new revision.
  // Limit exceeded: the latest revision is already the highest possible.
  PEK_ReturnStatus InsertNextRevision(EntryKey *key, const TarneEntry &header,
                                      std::span<const uint8_t> value);
  // Removes the rows of (uuid, type) in the sub-cluster, of one owner or of any, at one
  // revision or at all. Not found: there was none.
  PEK_ReturnStatus Remove(const OlvaUUID &uuid, const std::optional<OlvaUUID> &owner, uint8_t type,
                          const std::optional<uint64_t> &revision, const OlvaUUID &cluster);

  // Rows in the whole directory; nothing when it cannot be read.
  std::optional<uint64_t> CountEntries();

 private:
  std::unique_ptr<Connection> connection_;
};

// Failure and Busy from a write concern the store, not the request: the caller abandons its
// transaction. Every other status concerns the request alone and changed nothing.
bool IsStoreFailure(PEK_ReturnStatus status);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_ENTRY_STORE_H
