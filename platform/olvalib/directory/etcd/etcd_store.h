// The directory on an etcd cluster shared by many hosts (etcd's v3 API over gRPC). Each row
// is stored three times, under KEYPREFIX u/, o/ and t/ with fixed-width keys in the table's
// and the two indexes' column orders (etcd_keys.h), so that one range read gives any query's
// matches in the directory's order. KEYPREFIX is the location's prefix escaped and framed so
// that no other directory's keys fall among its own. The value is the 64-byte header
// followed by the payload. KEYPREFIX format marks a directory.
#ifndef OLVALIB_DIRECTORY_ETCD_STORE_H
#define OLVALIB_DIRECTORY_ETCD_STORE_H

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "directory/directory_location.h"
#include "directory/directory_store.h"
#include "directory/node_file.h"
#include "etcd_client.h"
#include "etcd_key_span.h"
#include "etcd_keys.h"

namespace olva::dir {

// The value of a directory's marker key.
inline constexpr std::string_view kEtcdFormatValue = "tarne-directory 1";
// The orders each row is stored in: the table's first.
inline constexpr std::array<ColumnOrder, 3> kEtcdOrders{kTableOrder, kOwnerIndexOrder,
                                                        kTypeIndexOrder};

// etcd's default --max-request-bytes: a larger request is refused by the members.
inline constexpr uint64_t kEtcdMaxRequestBytes = 1536u << 10;
// Room a request needs besides its operations: its header and framing.
inline constexpr uint64_t kRequestOverhead = 4096;
// etcd's default limit of operations in one transaction (--max-txn-ops).
inline constexpr size_t kMaxTransactionOperations = 128;
// The most keys one transaction names: its operations' and a range compare's two.
inline constexpr uint64_t kKeysPerTransaction = kMaxTransactionOperations + 2;
// An operation's framing in a transaction besides its key and value.
inline constexpr uint64_t kOperationFraming = 16;

// Each range request walks every key from its start to the end of its range, whatever its
// limit (etcd counts them), so a listing reads few large pages rather than many small ones.
inline constexpr uint32_t kListingRows = 8192;
inline constexpr size_t kListingBytes = 4u << 20;

class EtcdStore final : public DirectoryStore {
 public:
  // Nothing, and *error, when no member answers within 2 s, TLS files cannot be read, or the
  // cluster holds no directory under the prefix (*error tells when it holds one written in
  // the earlier key layout, and how to move it).
  static std::unique_ptr<EtcdStore> Open(const ClusterLocation &location, const TlsFiles &tls,
                                         std::string *error);
  // Records an empty directory under the prefix. Already exists: one is there and force is
  // false (force removes its rows first, and those of a directory of the earlier key layout
  // under the same prefix; never another directory's keys). No connection: no member
  // answered. Failure: *error says why (a directory of the earlier key layout is there and
  // force is false, among others).
  // *createdRevision, when given, receives the revision at which the marker was put.
  static PEK_ReturnStatus CreateDirectory(const ClusterLocation &location, const TlsFiles &tls,
                                          bool force, std::string *error,
                                          int64_t *createdRevision = nullptr);
  // Takes back a directory that CreateDirectory has just recorded, when the command that
  // recorded it fails after all: its marker goes only while it is still the one put then
  // (createdRevision), with any rows written under it since. Not found: the marker was
  // replaced or removed meanwhile, and is left alone. *markerKey names the marker's key
  // whatever the outcome, for the operator who must remove it by hand.
  static PEK_ReturnStatus RemoveCreatedDirectory(const ClusterLocation &location,
                                                 const TlsFiles &tls, int64_t createdRevision,
                                                 std::string *markerKey, std::string *error);

  PEK_ReturnStatus Scan(const MatchCriteria &criteria, const std::optional<EntryKey> &after,
                        uint32_t limit, const RowSink &sink) override;
  std::unique_ptr<ChangeWatch> WatchChanges() override;
  bool ApplyBatch(std::span<AppliedUpdate> batch) override;
  uint64_t MaxPayload() const override;
  PageSize ListingPage() const override { return {kListingRows, kListingBytes}; }
  std::optional<uint64_t> CountEntries() override;
  PEK_ReturnStatus ReadSnapshot(const RowSink &sink,
                                const std::function<bool()> &beginAgain) override;

  // Moves the directory written in the earlier key layout under the location's prefix to
  // the current one; *moved receives its entry count. Not found: none is there (or the
  // prefix has the same keys in both). Already exists: a directory of the current layout is
  // there. Busy: it changed meanwhile, nothing moved. No connection, Failure: as above.
  static PEK_ReturnStatus MoveEarlierLayout(const ClusterLocation &location, const TlsFiles &tls,
                                            uint64_t *moved, std::string *error);

  // Calls problem once per row whose owner- or type-ordered copy is missing or differs from
  // its uuid-ordered one, and once per copy without its row. Failure: the cluster could not
  // be read.
  PEK_ReturnStatus CheckOrders(const std::function<void(const std::string &)> &problem);

  // The connection to the cluster, for its maintenance (etcd_maintenance.h).
  etcd::Client &ClusterClient() { return *client_; }

  // The keys of the directory: KEYPREFIX then an order's tag (etcd_keys.h).
  const std::string &KeyPrefix() const { return keyPrefix_; }
  // The bytes a transaction spends on one operation on a row key, besides its value.
  uint64_t KeyOperationBytes() const { return etcd::RowKeyLength(keyPrefix_) + kOperationFraming; }

 private:
  class Operation;     // one request of a batch, in flight
  class SharedWrites;  // adds and deletions of a batch in one transaction

  EtcdStore(std::unique_ptr<etcd::Client> client, std::string keyPrefix)
      : client_(std::move(client)), keyPrefix_(std::move(keyPrefix)) {}

  // The revision a read of many requests is made at. One moment (a dump, a check) holds to
  // one revision: the given one, or the first request's when it is 0, and fails once the
  // history compacts it away. A read that may move (a listing's page) goes on at the newest
  // revision from the row it reached instead, so that a compaction never shortens a listing.
  struct ReadMoment {
    int64_t revision = 0;
    bool mayMove = false;
    bool compacted = false;  // set when a read of one moment failed for this
  };
  // The rows of one order within range, in key order, at moment (which receives the revision
  // read at). wanted: the rows the caller may need at most, which sizes the first request.
  // The visitor returns false to stop.
  using RowVisitor =
      std::function<bool(const std::string &key, const EntryKey &row, const std::string &value)>;
  PEK_ReturnStatus ReadRows(const ColumnOrder &order, etcd::KeyRange range, uint32_t wanted,
                            ReadMoment &moment, const RowVisitor &visit);
  // Runs read at one moment; when the history compacted that moment away before read ended,
  // calls beginAgain and, when it returns true, runs read again from a later one (a few times
  // at most).
  PEK_ReturnStatus AtOneMoment(const std::function<PEK_ReturnStatus(ReadMoment &)> &read,
                               const std::function<bool()> &beginAgain);
  // One pass of CheckOrders at moment.
  PEK_ReturnStatus CompareOrders(ReadMoment &moment,
                                 const std::function<void(std::string)> &problem);

  // The density of rows that the last read of many pages measured, and the range it read: a
  // read that continues it (the next page of a listing) bounds its first request with it.
  class SpanMemory {
   public:
    etcd::KeyDensity Density(const etcd::KeyRange &range) const;
    void Remember(const std::string &end, const std::string &from, const std::string &reached,
                  const etcd::KeyDensity &density);

   private:
    mutable std::mutex mutex_;
    std::string end_, from_, reached_;
    etcd::KeyDensity density_;
  };

  std::unique_ptr<etcd::Client> client_;
  const std::string keyPrefix_;
  SpanMemory spans_;
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_ETCD_STORE_H
