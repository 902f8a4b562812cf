// One SQLite connection with its prepared statements, and the scoped use of a statement.
// A connection is used by one thread at a time; the pool and the writer hand them over.
#ifndef OLVALIB_DIRECTORY_SQLITE_CONNECTION_H
#define OLVALIB_DIRECTORY_SQLITE_CONNECTION_H

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>

namespace olva::dir {

struct StatementDeleter {
  void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Binds, steps and reads one statement, and resets it when the scope ends, so that no read
// transaction outlives the rows it produced.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt *statement) : statement_(statement) {}
  ~StatementUse() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
  StatementUse(const StatementUse &) = delete;
  StatementUse &operator=(const StatementUse &) = delete;

  // The bytes must stay valid until the statement is reset.
  void BindBlob(int index, std::span<const uint8_t> bytes) {
    Bound(sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_STATIC));
  }
  void BindInt(int index, int64_t value) { Bound(sqlite3_bind_int64(statement_, index, value)); }
  void BindText(int index, const char *text) {
    Bound(sqlite3_bind_text(statement_, index, text, -1, SQLITE_STATIC));
  }
  // The result of the first bind that failed (SQLITE_TOOBIG for a value past the limit), in
  // which case the statement is not run: a value that was not bound would run as NULL.
  int Step() { return bindResult_ != SQLITE_OK ? bindResult_ : sqlite3_step(statement_); }
  std::span<const uint8_t> Blob(int column) const {
    const void *data = sqlite3_column_blob(statement_, column);
    const int size = sqlite3_column_bytes(statement_, column);
    return {static_cast<const uint8_t *>(data), data == nullptr ? 0u : static_cast<size_t>(size)};
  }
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  bool IsNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }

 private:
  void Bound(int result) {
    if (bindResult_ == SQLITE_OK) bindResult_ = result;
  }

  sqlite3_stmt *statement_;
  int bindResult_ = SQLITE_OK;
};

class Connection {
 public:
  enum class OpenMode {
    kExisting,  // the database must already exist
    kCreate,    // the administration program creates it
  };

  // How long a statement waits for another process's lock: long enough to ride out its batch
  // of writes, short enough to report a directory that stays locked.
  static constexpr int kBusyTimeoutMs = 10000;

  // Nothing (and *error set) when the file cannot be opened or configured.
  static std::unique_ptr<Connection> Open(const std::string &path, OpenMode mode,
                                          std::string *error);
  ~Connection();
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  sqlite3 *Handle() const { return database_; }
  // A statement prepared once per connection under a caller-chosen key; the builder gives
  // its text on first use. Nothing when the text does not prepare.
  sqlite3_stmt *Prepared(uint32_t key, const std::function<std::string()> &build);
  // Runs statements that return no rows (transaction control, pragmas, schema).
  bool Execute(const char *sql);
  std::string LastError() const { return sqlite3_errmsg(database_); }
  // The largest value a row of the entries table may carry: SQLite's limit on a row, less
  // what the row's other columns take.
  uint64_t MaxValueBytes() const;
  // Changes whenever another connection, of this process or another, commits a change.
  bool DataVersion(int64_t *version);

 private:
  explicit Connection(sqlite3 *database) : database_(database) {}
  static int RetryWhileBusy(void *context, int retries);
  static int CheckpointAfterCommit(void *context, sqlite3 *database, const char *schema,
                                   int frames);

  sqlite3 *database_;
  int busyLimitMs_ = kBusyTimeoutMs;
  int truncateFailedAt_ = 0;  // log size in pages at the last failed attempt to empty it
  std::unordered_map<uint32_t, StatementPtr> statements_;
};

// Statement keys of the fixed statements; generated query statements use keys from
// kFirstQueryKey on.
enum StatementKey : uint32_t {
  kKeyDataVersion = 1,
  kKeyReadMeta,
  kKeyReadClusters,
  kKeyInsertMeta,
  kKeyInsertCluster,
  kKeyInsertEntry,
  kKeyEntryExists,
  kKeyLatestRevision,
  kKeyDeleteOlderRevisions,
  kKeyDeleteEntry,
  kKeyCountEntries,
  kFirstQueryKey = 0x1000,
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_SQLITE_CONNECTION_H
