#include "sqlite_connection.h"

#include <time.h>

namespace olva::dir {
namespace {

// Long enough to ride out another process's batch of writes, short enough to report a
// directory that stays locked.
constexpr int kBusyTimeoutMs = 10000;
constexpr int kBusyPollMs = 1;

// The key columns, the 64-byte header and the record's own header take under 150 bytes.
constexpr uint64_t kRowBytesBesideValue = 256;

// Retries every millisecond. SQLite's own handler backs off to 100 ms sleeps, which leave the
// lock idle long after another process released it.
int RetryWhileBusy(void *, int retries) {
  if (retries >= kBusyTimeoutMs / kBusyPollMs) return 0;
  const timespec pause{0, kBusyPollMs * 1000000L};
  nanosleep(&pause, nullptr);
  return 1;
}

}  // namespace

std::unique_ptr<Connection> Connection::Open(const std::string &path, OpenMode mode,
                                             std::string *error) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (mode == OpenMode::kCreate) flags |= SQLITE_OPEN_CREATE;
  sqlite3 *database = nullptr;
  const int result = sqlite3_open_v2(path.c_str(), &database, flags, nullptr);
  if (result != SQLITE_OK) {
    *error = database != nullptr ? sqlite3_errmsg(database) : sqlite3_errstr(result);
    sqlite3_close(database);
    return nullptr;
  }
  std::unique_ptr<Connection> connection(new Connection(database));
  sqlite3_extended_result_codes(database, 1);
  sqlite3_busy_handler(database, RetryWhileBusy, nullptr);
  // Leave the write-ahead log in place when a process closes the directory: checkpointing it
  // at every close costs a short-lived command such as add three more syncs. Commits still
  // checkpoint it once it grows.
  sqlite3_db_config(database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  // FULL: a commit is on disk (the WAL synced) before any completion reports it.
  if (!connection->Execute("PRAGMA synchronous=FULL")) {
    *error = connection->LastError();
    return nullptr;
  }
  return connection;
}

Connection::~Connection() {
  statements_.clear();
  sqlite3_close(database_);
}

sqlite3_stmt *Connection::Prepared(uint32_t key, const std::function<std::string()> &build) {
  auto found = statements_.find(key);
  if (found != statements_.end()) return found->second.get();
  const std::string sql = build();
  sqlite3_stmt *statement = nullptr;
  if (sqlite3_prepare_v3(database_, sql.c_str(), static_cast<int>(sql.size()),
                         SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  statements_.emplace(key, StatementPtr(statement));
  return statement;
}

uint64_t Connection::MaxValueBytes() const {
  const auto rowLimit = static_cast<uint64_t>(sqlite3_limit(database_, SQLITE_LIMIT_LENGTH, -1));
  return rowLimit > kRowBytesBesideValue ? rowLimit - kRowBytesBesideValue : 0;
}

bool Connection::Execute(const char *sql) {
  return sqlite3_exec(database_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Connection::DataVersion(int64_t *version) {
  sqlite3_stmt *statement =
      Prepared(kKeyDataVersion, [] { return std::string("PRAGMA data_version"); });
  if (statement == nullptr) return false;
  StatementUse use(statement);
  if (use.Step() != SQLITE_ROW) return false;
  *version = use.Int(0);
  return true;
}

}  // namespace olva::dir
