#include "directory_schema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "client/tarne_status_codes.h"
#include "directory/made_folders.h"
#include "directory/uuid_util.h"

namespace olva::dir {
namespace {

// Rows are ordered (uuid, owner, type, revision, cluster); the two indexes serve lookups by
// owner and by type without sorting (docs/DIRECTORY.md, "Database schema").
constexpr const char *kSchemaSql = R"sql(
CREATE TABLE directory_meta(
  name  TEXT PRIMARY KEY,
  value ANY NOT NULL
) WITHOUT ROWID;
CREATE TABLE server_clusters(
  position INTEGER PRIMARY KEY,
  uuid     BLOB NOT NULL UNIQUE CHECK(length(uuid) = 16)
);
CREATE TABLE entries(
  uuid     BLOB NOT NULL CHECK(length(uuid) = 16),
  owner    BLOB NOT NULL CHECK(length(owner) = 16),
  type     INTEGER NOT NULL CHECK(type BETWEEN 0 AND 127),
  revision BLOB NOT NULL CHECK(length(revision) = 8),
  cluster  BLOB NOT NULL CHECK(length(cluster) = 16),
  header   BLOB NOT NULL CHECK(length(header) = 64),
  value    BLOB NOT NULL,
  PRIMARY KEY(uuid, owner, type, revision, cluster)
) WITHOUT ROWID;
CREATE INDEX entries_by_owner ON entries(owner, type, uuid, revision, cluster);
CREATE INDEX entries_by_type ON entries(type, uuid, owner, revision, cluster);
)sql";

bool RemoveIfPresent(const std::string &path, std::string *error) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool WriteIdentity(Connection &connection, const DirectoryInfo &info) {
  sqlite3_stmt *meta = connection.Prepared(kKeyInsertMeta, [] {
    return std::string("INSERT INTO directory_meta(name, value) VALUES(?1, ?2)");
  });
  sqlite3_stmt *cluster = connection.Prepared(kKeyInsertCluster, [] {
    return std::string("INSERT INTO server_clusters(position, uuid) VALUES(?1, ?2)");
  });
  if (meta == nullptr || cluster == nullptr) return false;
  {
    StatementUse use(meta);
    use.BindText(1, "format");
    use.BindText(2, kFormatName);
    if (use.Step() != SQLITE_DONE) return false;
  }
  {
    StatementUse use(meta);
    use.BindText(1, "version");
    use.BindInt(2, kFormatVersion);
    if (use.Step() != SQLITE_DONE) return false;
  }
  {
    StatementUse use(meta);
    use.BindText(1, "self");
    use.BindBlob(2, info.self.bytes);
    if (use.Step() != SQLITE_DONE) return false;
  }
  for (size_t i = 0; i < info.clusters.size(); ++i) {
    StatementUse use(cluster);
    use.BindInt(1, static_cast<int64_t>(i));
    use.BindBlob(2, info.clusters[i].bytes);
    if (use.Step() != SQLITE_DONE) return false;
  }
  return true;
}

}  // namespace

PEK_ReturnStatus CreateDirectory(const std::string &path, const DirectoryInfo &info, bool force,
                                 std::string *error) {
  if (!ValidIdentity(info)) {
    *error = "the self UUID and every cluster UUID must be distinct real UUIDs";
    return TARNE_STATUS_BAD_PARAMETER;
  }
  // A failure leaves nothing behind: neither the file nor a folder made for it.
  MadeFolders folders;
  const auto fail = [&](PEK_ReturnStatus status) {
    folders.Remove();
    return status;
  };
  if (!folders.MakeAbove(path, error)) return fail(TARNE_STATUS_FAILURE);
  if (force) {
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
      if (!RemoveIfPresent(path + suffix, error)) return fail(TARNE_STATUS_FAILURE);
    }
  }
  // Created here rather than by SQLite, so that it is never readable by others, not even for
  // a moment; SQLite gives the -wal and -shm files the same mode.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    const int failed = errno;
    *error = path + ": " + std::strerror(failed);
    return fail(failed == EEXIST ? TARNE_STATUS_ALREADY_EXISTS : TARNE_STATUS_FAILURE);
  }
  const bool modeSet = fchmod(fd, 0600) == 0;
  close(fd);
  if (!modeSet) {
    *error = path + ": " + std::strerror(errno);
    unlink(path.c_str());
    return fail(TARNE_STATUS_FAILURE);
  }

  std::unique_ptr<Connection> connection =
      Connection::Open(path, Connection::OpenMode::kExisting, error);
  // WAL lets readers of every process go on while one writer commits.
  const bool created = connection != nullptr && connection->Execute("PRAGMA journal_mode=WAL") &&
                       connection->Execute("BEGIN IMMEDIATE") && connection->Execute(kSchemaSql) &&
                       WriteIdentity(*connection, info) && connection->Execute("COMMIT");
  if (!created) {
    if (connection != nullptr) *error = connection->LastError();
    connection.reset();
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) unlink((path + suffix).c_str());
    return fail(TARNE_STATUS_FAILURE);
  }
  return TARNE_STATUS_SUCCESS;
}

bool ReadDirectoryInfo(Connection &connection, DirectoryInfo *info, std::string *error) {
  sqlite3_stmt *meta = connection.Prepared(
      kKeyReadMeta, [] { return std::string("SELECT name, value FROM directory_meta"); });
  sqlite3_stmt *clusters = connection.Prepared(kKeyReadClusters, [] {
    return std::string("SELECT uuid FROM server_clusters ORDER BY position");
  });
  if (meta == nullptr || clusters == nullptr) {
    *error = connection.LastError();
    return false;
  }
  bool formatSeen = false;
  bool versionSeen = false;
  bool selfSeen = false;
  {
    StatementUse use(meta);
    int step;
    while ((step = use.Step()) == SQLITE_ROW) {
      const std::span<const uint8_t> name = use.Blob(0);
      const std::string_view key(reinterpret_cast<const char *>(name.data()), name.size());
      const std::span<const uint8_t> value = use.Blob(1);
      if (key == "format") {
        formatSeen = std::string_view(reinterpret_cast<const char *>(value.data()), value.size()) ==
                     kFormatName;
      } else if (key == "version") {
        versionSeen = use.Int(1) == kFormatVersion;
      } else if (key == "self" && value.size() == sizeof info->self.bytes) {
        std::memcpy(info->self.bytes, value.data(), value.size());
        selfSeen = true;
      }
    }
    if (step != SQLITE_DONE) {
      *error = connection.LastError();
      return false;
    }
  }
  if (!formatSeen || !versionSeen || !selfSeen) {
    *error = "not a directory of this format and version";
    return false;
  }
  info->clusters.clear();
  StatementUse use(clusters);
  int step;
  while ((step = use.Step()) == SQLITE_ROW) {
    OlvaUUID cluster{};
    const std::span<const uint8_t> value = use.Blob(0);
    if (value.size() != sizeof cluster.bytes) break;
    std::memcpy(cluster.bytes, value.data(), value.size());
    info->clusters.push_back(cluster);
  }
  if (step != SQLITE_DONE || info->clusters.empty()) {
    *error = step != SQLITE_DONE ? connection.LastError() : "no server sub-cluster recorded";
    return false;
  }
  return true;
}

}  // namespace olva::dir
