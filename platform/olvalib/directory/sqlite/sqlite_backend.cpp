// The file's record: the library opens the file; tarne-admin creates it, checks it through
// its own statements, loads a dump in one transaction and reports its sizes. A file has no
// history to compact and no earlier layout to move.
#include "sqlite_backend.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "client/tarne_status_codes.h"
#include "directory/row_check.h"
#include "directory/uuid_util.h"
#include "directory_schema.h"
#include "entry_store.h"
#include "sqlite_connection.h"
#include "sqlite_store.h"

namespace olva::dir {
namespace {

// Room for the pages a large transaction changes, so that they reach the log once, at the
// commit, rather than spilled and rewritten along the way.
constexpr const char *kLargeCacheSql = "PRAGMA cache_size=-131072";  // KiB

// Runs sql and hands each row to the visitor; false, with the problem reported, when the
// statement cannot be prepared or the rows cannot all be read.
template <typename Visit>
bool EachRow(Connection &connection, const char *sql, const ProblemSink &problem, Visit &&visit) {
  sqlite3_stmt *raw = nullptr;
  if (sqlite3_prepare_v2(connection.Handle(), sql, -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    problem("cannot read: " + connection.LastError());
    return false;
  }
  const StatementPtr statement(raw);
  const StatementUse use(raw);
  int step;
  while ((step = sqlite3_step(raw)) == SQLITE_ROW) visit(use);
  if (step != SQLITE_DONE) {
    problem("cannot read: " + connection.LastError());
    return false;
  }
  return true;
}

std::optional<OlvaUUID> AsUuid(std::span<const uint8_t> bytes) {
  OlvaUUID uuid{};
  if (bytes.size() != sizeof uuid.bytes) return std::nullopt;
  std::memcpy(uuid.bytes, bytes.data(), bytes.size());
  return uuid;
}

bool RealUuid(const OlvaUUID &uuid) {
  return !IsNullUuid(uuid) && !SameUuid(uuid, kSelfMarker);
}

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

bool CheckIntegrity(Connection &connection, const ProblemSink &problem) {
  return EachRow(connection, "PRAGMA integrity_check", problem, [&](const StatementUse &row) {
    const std::string_view text = AsText(row.Blob(0));
    if (text != "ok") problem("database: " + std::string(text));
  });
}

// The self UUID and the server sub-clusters, as init writes them; the sub-clusters found
// go to *clusters.
void CheckIdentity(Connection &connection, std::vector<OlvaUUID> *clusters,
                   const ProblemSink &problem) {
  bool format = false, version = false, self = false;
  EachRow(connection, "SELECT name, value FROM directory_meta", problem,
          [&](const StatementUse &row) {
            const std::string_view name = AsText(row.Blob(0));
            if (name == "format") format = AsText(row.Blob(1)) == kFormatName;
            if (name == "version") version = row.Int(1) == kFormatVersion;
            if (name == "self") {
              const std::optional<OlvaUUID> uuid = AsUuid(row.Blob(1));
              self = true;
              if (!uuid || !RealUuid(*uuid)) problem("the self UUID is not a real UUID");
            }
          });
  if (!format) problem("the format is not " + std::string(kFormatName));
  if (!version) problem("the version is not " + std::to_string(kFormatVersion));
  if (!self) problem("the self UUID is missing");

  int64_t expected = 0;
  EachRow(connection, "SELECT position, uuid FROM server_clusters ORDER BY position", problem,
          [&](const StatementUse &row) {
            const std::string where = "server sub-cluster " + std::to_string(row.Int(0));
            if (row.Int(0) != expected) problem(where + " is out of sequence");
            ++expected;
            const std::optional<OlvaUUID> uuid = AsUuid(row.Blob(1));
            if (!uuid || !RealUuid(*uuid)) {
              problem(where + " is not a real UUID");
              return;
            }
            for (const OlvaUUID &seen : *clusters) {
              if (SameUuid(seen, *uuid)) problem(where + " repeats an earlier one");
            }
            clusters->push_back(*uuid);
          });
  if (expected == 0) problem("there is no server sub-cluster");
}

void CheckRows(Connection &connection, const std::vector<OlvaUUID> &clusters, uint64_t *rows,
               const ProblemSink &problem) {
  EachRow(
      connection, "SELECT uuid, owner, type, revision, cluster, header, length(value) FROM entries",
      problem, [&](const StatementUse &row) {
        ++*rows;
        const std::optional<OlvaUUID> uuid = AsUuid(row.Blob(0)), owner = AsUuid(row.Blob(1)),
                                      cluster = AsUuid(row.Blob(4));
        const std::span<const uint8_t> revision = row.Blob(3);
        const int64_t type = row.Int(2);
        if (!uuid || !owner || !cluster || revision.size() != 8 || type < 0 || type > kTypeMask) {
          problem("row " + std::to_string(*rows) + ": a key column is malformed");
          return;
        }
        const EntryKey key{*uuid, *owner, static_cast<uint8_t>(type),
                           DecodeRevision(revision.first<8>()), *cluster};
        CheckRow(key, row.Blob(5), static_cast<uint64_t>(row.Int(6)), clusters, problem);
      });
}

// The file: every entry inside one write transaction, which a failure rolls back whole.
class FileLoad final : public BulkLoad {
 public:
  explicit FileLoad(std::unique_ptr<Connection> connection) : store_(std::move(connection)) {}
  ~FileLoad() override {
    if (open_) store_.Rollback();
  }

  bool Begin(std::string *error) {
    open_ = store_.connection().Execute(kLargeCacheSql) && store_.Begin();
    if (!open_) *error = "cannot write: " + store_.connection().LastError();
    return open_;
  }

  std::optional<uint64_t> CountEntries(std::string *error) override {
    const std::optional<uint64_t> count = store_.CountEntries();
    if (!count) *error = "cannot read the directory: " + store_.connection().LastError();
    return count;
  }

  bool Add(uint64_t number, const EntryKey &key, const TarneEntry &entry,
           std::string *error) override {
    const PEK_ReturnStatus status =
        store_.Insert(key, entry, {TarneEntry_Payload(&entry), entry.valueLen});
    if (status == TARNE_STATUS_SUCCESS) return true;
    *error = LoadFailure(number, key, status, store_.connection().LastError());
    return false;
  }

  bool Finish(std::string *error) override {
    if (store_.Commit()) {
      open_ = false;
      return true;
    }
    *error = "cannot commit: " + store_.connection().LastError();
    return false;
  }

  std::string Abandon() override {
    store_.Rollback();
    open_ = false;
    return "nothing was restored";
  }

 private:
  EntryStore store_;
  bool open_ = false;
};

// The size of a file; 0 when it does not exist.
int64_t FileBytes(const std::string &path) {
  struct stat about {};
  return stat(path.c_str(), &about) == 0 ? static_cast<int64_t>(about.st_size) : 0;
}

// Why the library cannot open the file, before SQLite gives its less telling words; empty
// when nothing on the file's side stops it.
std::string FileCause(const std::string &path) {
  struct stat about {};
  if (stat(path.c_str(), &about) != 0) {
    if (errno == ENOENT) {
      return "missing file: " + path +
             " does not exist (tarne-admin init creates it; a cluster's location begins with "
             "etcd:// or etcds://)";
    }
    return "permissions: cannot reach " + path + ": " + std::strerror(errno);
  }
  if (!S_ISREG(about.st_mode)) return "not a file: " + path;
  if (access(path.c_str(), R_OK | W_OK) != 0) {
    char mode[8];
    (void)std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(about.st_mode & 07777));
    return "permissions: user " + std::to_string(geteuid()) + " cannot read and write " + path +
           " (mode " + mode + ", owner " + std::to_string(about.st_uid) + ")";
  }
  return {};
}

class FileBackend final : public DirectoryBackend {
 public:
  std::unique_ptr<DirectoryStore> Open(const std::string &location, const std::string &,
                                       DirectoryInfo *info, std::string *error) const override {
    return SqliteStore::Open(location, info, error);
  }

  AdminOutcome Init(const InitRequest &request, std::string *usage) const override {
    if (request.ca || request.cert || request.key) {
      *usage = "--ca, --cert and --key need a directory at etcds://";
      return AdminOutcome::kUsage;
    }
    const std::string &path = request.location;
    std::string error;
    const PEK_ReturnStatus status = CreateDirectory(path, request.identity, request.force, &error);
    if (status == TARNE_STATUS_ALREADY_EXISTS) {
      (void)std::fprintf(stderr, "tarne-admin: %s already exists (--force replaces it)\n",
                         path.c_str());
      return AdminOutcome::kFailed;
    }
    if (status == TARNE_STATUS_BAD_PARAMETER) {
      *usage = error;
      return AdminOutcome::kUsage;
    }
    if (status != TARNE_STATUS_SUCCESS) {
      (void)std::fprintf(stderr, "tarne-admin: cannot create %s: %s\n", path.c_str(),
                         error.c_str());
      return AdminOutcome::kFailed;
    }
    return AdminOutcome::kDone;
  }

  // It reads the file through its own statements rather than the directory's readers, which
  // refuse a damaged identity outright, so that it can name every problem; inside one read
  // transaction: one snapshot for every check, while writers go on.
  bool Check(const std::string &location, const std::string &, const ProblemSink &problem,
             uint64_t *rows) const override {
    std::string error;
    std::unique_ptr<Connection> connection =
        Connection::Open(location, Connection::OpenMode::kExisting, &error);
    if (connection == nullptr) {
      (void)std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", location.c_str(),
                         error.c_str());
      return false;
    }
    connection->Execute("BEGIN");
    if (CheckIntegrity(*connection, problem)) {
      std::vector<OlvaUUID> clusters;
      CheckIdentity(*connection, &clusters, problem);
      CheckRows(*connection, clusters, rows, problem);
    }
    connection->Execute("COMMIT");
    return true;
  }

  std::unique_ptr<BulkLoad> OpenBulkLoad(const std::string &location, DirectoryStore &,
                                         const DirectoryInfo &, std::string *error) const override {
    std::unique_ptr<Connection> connection =
        Connection::Open(location, Connection::OpenMode::kExisting, error);
    if (connection == nullptr) {
      *error = "cannot write: " + *error;
      return nullptr;
    }
    auto load = std::make_unique<FileLoad>(std::move(connection));
    if (!load->Begin(error)) return nullptr;
    return load;
  }

  void Status(const std::string &path, StatusReport *report) const override {
    if (std::string cause = FileCause(path); !cause.empty()) {
      report->Unreachable(std::move(cause));
      return;
    }
    std::string error;
    DirectoryInfo info;
    const std::unique_ptr<DirectoryStore> store = SqliteStore::Open(path, &info, &error);
    if (store == nullptr) {
      report->Unreachable("cannot open " + path + ": " + error);
      return;
    }
    report->entries = store->CountEntries();
    const std::unique_ptr<Connection> connection =
        Connection::Open(path, Connection::OpenMode::kExisting, &error);
    FileReport file;
    file.bytes = FileBytes(path);
    file.logBytes = FileBytes(path + "-wal");
    const auto pragma = [&](const char *sql) -> int64_t {
      sqlite3_stmt *statement = nullptr;
      int64_t value = 0;
      if (connection != nullptr &&
          sqlite3_prepare_v2(connection->Handle(), sql, -1, &statement, nullptr) == SQLITE_OK &&
          sqlite3_step(statement) == SQLITE_ROW) {
        value = sqlite3_column_int64(statement, 0);
      }
      sqlite3_finalize(statement);
      return value;
    };
    file.freePages = pragma("PRAGMA freelist_count");
    file.pageSize = pragma("PRAGMA page_size");
    report->file = file;
    if (!report->entries) report->Degraded("cannot count the entries of " + path);
  }

  AdminOutcome Compact(const std::string &, const std::string &) const override {
    return AdminOutcome::kUnsupported;
  }

  AdminOutcome Upgrade(const std::string &, const std::string &, std::string *) const override {
    return AdminOutcome::kUnsupported;
  }
};

}  // namespace

const DirectoryBackend &SqliteBackend() {
  static const FileBackend backend;
  return backend;
}

}  // namespace olva::dir
