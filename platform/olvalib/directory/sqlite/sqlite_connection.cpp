#include "sqlite_connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace olva::dir {
namespace {

constexpr int kBusyPollMs = 1;

// The key columns, the 64-byte header and the record's own header take under 150 bytes.
constexpr uint64_t kRowBytesBesideValue = 256;

// The write-ahead log. SQLite checkpoints it once it holds kCheckpointFrames pages and then
// writes it again from its start, but never shrinks the file by itself: one large
// transaction would leave a log as large as itself for good. A log past kTruncateFrames
// (32 MiB of 4 KiB pages) is checkpointed and emptied at once; and a log written again from
// its start is cut back to kLogSizeLimit bytes at its first commit.
constexpr int kCheckpointFrames = 1000;  // SQLite's own automatic threshold
constexpr int kTruncateFrames = 8192;
constexpr const char *kLogSizeLimit = "PRAGMA journal_size_limit=16777216";
// Emptying the log waits for the readers of its pages; a reader that keeps one snapshot for
// long (a dump) must not hold every commit up for the whole busy timeout.
constexpr int kTruncateWaitMs = 100;

// SQLite creates the -wal and -shm files with the database file's mode, and sets an empty
// -wal back to that mode whenever it opens it. When the mode lacks the owner's write bit (a
// directory made read-only for a while), whatever opens the file leaves companions that the
// owner's writers cannot open once the file is writable again. Such a file is one this
// process cannot write, or one its owner cannot.
bool MayLeaveReadOnlyCompanions(const std::string &path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 &&
         ((info.st_mode & S_IWUSR) == 0 ||
          faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0);
}

// Gives the companions their owner's read and write back. Only their owner (the file's owner,
// since SQLite running as root hands them to it) or root can; anyone else changes nothing.
void MakeCompanionsWritableByOwner(const std::string &path) {
  for (const char *suffix : {"-wal", "-shm"}) {
    const std::string companion = path + suffix;
    struct stat info {};
    if (stat(companion.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) {
      chmod(companion.c_str(), (info.st_mode & 0777) | S_IRUSR | S_IWUSR);
    }
  }
}

}  // namespace

// Retries every millisecond. SQLite's own handler backs off to 100 ms sleeps, which leave the
// lock idle long after another process released it.
int Connection::RetryWhileBusy(void *context, int retries) {
  if (retries >= static_cast<const Connection *>(context)->busyLimitMs_ / kBusyPollMs) return 0;
  const timespec pause{0, kBusyPollMs * 1000000L};
  nanosleep(&pause, nullptr);
  return 1;
}

int Connection::CheckpointAfterCommit(void *context, sqlite3 *database, const char *schema,
                                      int frames) {
  if (frames < kCheckpointFrames) return SQLITE_OK;
  auto *connection = static_cast<Connection *>(context);
  // After a failure, tried again only once the log has doubled, so that a long reader costs
  // a few waits, not one per commit.
  if (frames >= kTruncateFrames && frames >= 2 * connection->truncateFailedAt_) {
    connection->busyLimitMs_ = kTruncateWaitMs;
    const int result =
        sqlite3_wal_checkpoint_v2(database, schema, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    connection->busyLimitMs_ = Connection::kBusyTimeoutMs;
    connection->truncateFailedAt_ = result == SQLITE_OK ? 0 : frames;
    if (result == SQLITE_OK) return SQLITE_OK;
  }
  sqlite3_wal_checkpoint_v2(database, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  return SQLITE_OK;
}

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
  sqlite3_busy_handler(database, RetryWhileBusy, connection.get());
  sqlite3_wal_hook(database, CheckpointAfterCommit, connection.get());
  // Leave the write-ahead log in place when a process closes the directory: checkpointing it
  // at every close costs a short-lived command such as add three more syncs. Commits still
  // checkpoint it once it grows, and keep its file small (kTruncateFrames, kLogSizeLimit).
  sqlite3_db_config(database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  // FULL: a commit is on disk (the WAL synced) before any completion reports it.
  if (!connection->Execute("PRAGMA synchronous=FULL") || !connection->Execute(kLogSizeLimit)) {
    *error = connection->LastError();
    return nullptr;
  }
  if (MayLeaveReadOnlyCompanions(path)) {
    // The first read opens the companions, creating them when they are missing.
    connection->Execute("SELECT 1 FROM sqlite_schema LIMIT 1");
    MakeCompanionsWritableByOwner(path);
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
