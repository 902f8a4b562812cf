// The place the directory's entries live, behind the library: the SQLite file of one host
// (sqlite_store.h) or an etcd cluster shared by many hosts (etcd_store.h). The C boundary and its
// threads (lookups, iteration, waits, the writer, remote find) see only this.
#ifndef OLVALIB_DIRECTORY_DIRECTORY_STORE_H
#define OLVALIB_DIRECTORY_DIRECTORY_STORE_H

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "client/tarne_client.h"
#include "entry_key.h"
#include "match_criteria.h"
#include "uuid_util.h"

namespace olva::dir {

// One row as the store holds it; the spans live until the sink returns.
struct RowView {
  EntryKey key;
  std::span<const uint8_t> header;  // 64 bytes, valueLen equal to the value's size
  std::span<const uint8_t> value;
};
using RowSink = std::function<bool(const RowView &)>;

struct UpdateRequest {
  enum class Kind : uint8_t { kAdd, kUpdate, kDelete };
  Kind kind = Kind::kAdd;
  TarneEntry *entry = nullptr;  // the caller's, read when the request is applied
  TarneUpdateCompletion done = nullptr;
  void *context = nullptr;
  OlvaUUID givenCluster{};  // handed back to the completion as the caller gave it
  OlvaUUID cluster{};       // the sub-cluster the request changes
  OlvaUUID self{};          // what the self marker stands for
  bool heldEntry = false;   // the entry is one of the library's held entries
};

// The row a request names: the entry's own key with the self marker resolved, in the
// request's sub-cluster. A deletion's null owner and zero revision mean any.
inline EntryKey KeyOfRequest(const UpdateRequest &request) {
  EntryKey key = KeyOfHeader(*request.entry);
  key.owner = ResolveOwner(request.entry->owner, request.self);
  key.cluster = request.cluster;
  return key;
}

// A request of a batch the writer hands to the store, and what became of it.
struct AppliedUpdate {
  UpdateRequest request;
  uint32_t entryLength = 0;
  PEK_ReturnStatus status = 0;
  uint64_t storedRevision = 0;  // an update's new revision, told to the caller on success
};

// How much a listing reads from the store at a time.
struct PageSize {
  uint32_t rows;
  size_t bytes;
};

// Tells a waiting thread that something may have been committed, by any process.
class ChangeWatch {
 public:
  virtual ~ChangeWatch() = default;
  // Remembers the directory's state now; false when it cannot be read (yet: see
  // FailuresPass).
  virtual bool Mark() = 0;
  enum class Outcome : uint8_t { kChanged, kQuiet, kFailed };
  // Blocks at most pause; kChanged once something was committed since Mark, or a watch that
  // could not mark can now.
  virtual Outcome WaitForChange(std::chrono::steady_clock::duration pause) = 0;
  // Ends the WaitForChange under way, and makes every later one return at once; any thread.
  virtual void Interrupt() = 0;
  // Whether failed reads of the store may succeed later (a cluster that lost a member or its
  // quorum), so that a wait tries them again while it has time.
  virtual bool FailuresPass() const { return false; }
};

// While it lives, no call that this thread makes to a store far away outlasts deadline: a
// wait's lookups end by the wait's own deadline.
class CallBound {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  explicit CallBound(TimePoint deadline) : outer_(Slot()) { Slot() = std::min(outer_, deadline); }
  ~CallBound() { Slot() = outer_; }
  CallBound(const CallBound &) = delete;
  CallBound &operator=(const CallBound &) = delete;
  // The earliest bound of the thread's scopes; the far future without one.
  static TimePoint Current() { return SourceSlot()(); }
  // The bound as this copy of the class holds it.
  static TimePoint Own() { return Slot(); }
  // A backend loaded from a shared object holds its own copy of this class, while the
  // program's copy sets the bounds: the loader hands it the program's Own to read them with.
  using Source = TimePoint (*)();
  static void ReadFrom(Source source) { SourceSlot() = source; }

 private:
  static TimePoint &Slot() {
    thread_local TimePoint bound = TimePoint::max();
    return bound;
  }
  static Source &SourceSlot() {
    static Source source = &Own;
    return source;
  }
  TimePoint outer_;
};

// Every method may be called from any thread at any time between opening and destruction;
// ApplyBatch only from the one writer thread.
class DirectoryStore {
 public:
  virtual ~DirectoryStore() = default;

  // Hands the sink up to limit matches that follow the cursor (all matches from the first
  // without one), in the query's order (docs/DIRECTORY.md); the sink returns false to stop
  // early. Failure: the store could not be read.
  virtual PEK_ReturnStatus Scan(const MatchCriteria &criteria, const std::optional<EntryKey> &after,
                                uint32_t limit, const RowSink &sink) = 0;

  // Nothing when the store cannot be watched.
  virtual std::unique_ptr<ChangeWatch> WatchChanges() = 0;

  // Applies the requests, in order, and sets each one's status (and an update's stored
  // revision); returns once every change that succeeded is durable. True when something
  // may have been committed.
  virtual bool ApplyBatch(std::span<AppliedUpdate> batch) = 0;

  // The largest payload an add or update may carry.
  virtual uint64_t MaxPayload() const = 0;

  // What a listing's read-ahead should hold: a store that answers each read from afar wants
  // few large reads, one on this host many small ones.
  virtual PageSize ListingPage() const = 0;

  // Rows in the whole directory; nothing when it cannot be read.
  virtual std::optional<uint64_t> CountEntries() = 0;

  // Hands the sink every row, in the order (uuid, owner, type, revision, sub-cluster), as
  // the directory was at one moment; the sink returns false to stop early. When that moment
  // can no longer be read before the end (a cluster's history compacted under a long read),
  // the store calls beginAgain, and when it returns true hands every row again from a later
  // moment; a few times at most.
  virtual PEK_ReturnStatus ReadSnapshot(const RowSink &sink,
                                        const std::function<bool()> &beginAgain) = 0;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_DIRECTORY_STORE_H
