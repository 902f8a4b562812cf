// tarne-admin check: verifies a directory without trusting it. It reads a file through its
// own statements rather than the directory's readers, which refuse a damaged identity
// outright, so that it can name every problem it finds. A cluster holds no identity: there
// it checks the node file, the rows of one snapshot, the keys of every listing order and the
// members' alarms.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "admin_arguments.h"
#include "admin_cluster.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "directory/directory_location.h"
#include "directory/entry_key.h"
#include "directory/node_file.h"
#include "directory/sqlite/directory_schema.h"
#include "directory/store_opener.h"
#include "directory/uuid_util.h"

namespace olva::admin {
namespace {

// A damaged file can have a problem in every row: report the first ones and count the rest.
constexpr size_t kMostReported = 100;

class Report {
 public:
  void Add(std::string problem) {
    if (problems_.size() < kMostReported) problems_.push_back(std::move(problem));
    ++count_;
  }
  size_t Count() const { return count_; }
  void Print(const std::string &path) const {
    for (const std::string &problem : problems_) {
      (void)std::fprintf(stderr, "tarne-admin: %s: %s\n", path.c_str(), problem.c_str());
    }
    if (count_ > problems_.size()) {
      (void)std::fprintf(stderr, "tarne-admin: %s: %zu more problems not shown\n", path.c_str(),
                         count_ - problems_.size());
    }
    (void)std::fprintf(stderr, "tarne-admin: %s: %zu problem%s found\n", path.c_str(), count_,
                       count_ == 1 ? "" : "s");
  }

 private:
  std::vector<std::string> problems_;
  size_t count_ = 0;
};

// Runs sql and hands each row to the visitor; false, with the problem reported, when the
// statement cannot be prepared or the rows cannot all be read.
template <typename Visit>
bool EachRow(dir::Connection &connection, const char *sql, Report *report, Visit &&visit) {
  sqlite3_stmt *raw = nullptr;
  if (sqlite3_prepare_v2(connection.Handle(), sql, -1, &raw, nullptr) != SQLITE_OK) {
    sqlite3_finalize(raw);
    report->Add("cannot read: " + connection.LastError());
    return false;
  }
  const dir::StatementPtr statement(raw);
  const dir::StatementUse use(raw);
  int step;
  while ((step = sqlite3_step(raw)) == SQLITE_ROW) visit(use);
  if (step != SQLITE_DONE) {
    report->Add("cannot read: " + connection.LastError());
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
  return !dir::IsNullUuid(uuid) && !dir::SameUuid(uuid, dir::kSelfMarker);
}

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

bool CheckIntegrity(dir::Connection &connection, Report *report) {
  return EachRow(connection, "PRAGMA integrity_check", report, [&](const dir::StatementUse &row) {
    const std::string_view text = AsText(row.Blob(0));
    if (text != "ok") report->Add("database: " + std::string(text));
  });
}

// The self UUID and the server sub-clusters, as init writes them; the sub-clusters found
// go to *clusters.
void CheckIdentity(dir::Connection &connection, std::vector<OlvaUUID> *clusters, Report *report) {
  bool format = false, version = false, self = false;
  EachRow(connection, "SELECT name, value FROM directory_meta", report,
          [&](const dir::StatementUse &row) {
            const std::string_view name = AsText(row.Blob(0));
            if (name == "format") format = AsText(row.Blob(1)) == dir::kFormatName;
            if (name == "version") version = row.Int(1) == dir::kFormatVersion;
            if (name == "self") {
              const std::optional<OlvaUUID> uuid = AsUuid(row.Blob(1));
              self = true;
              if (!uuid || !RealUuid(*uuid)) report->Add("the self UUID is not a real UUID");
            }
          });
  if (!format) report->Add("the format is not " + std::string(dir::kFormatName));
  if (!version) report->Add("the version is not " + std::to_string(dir::kFormatVersion));
  if (!self) report->Add("the self UUID is missing");

  int64_t expected = 0;
  EachRow(connection, "SELECT position, uuid FROM server_clusters ORDER BY position", report,
          [&](const dir::StatementUse &row) {
            const std::string where = "server sub-cluster " + std::to_string(row.Int(0));
            if (row.Int(0) != expected) report->Add(where + " is out of sequence");
            ++expected;
            const std::optional<OlvaUUID> uuid = AsUuid(row.Blob(1));
            if (!uuid || !RealUuid(*uuid)) {
              report->Add(where + " is not a real UUID");
              return;
            }
            for (const OlvaUUID &seen : *clusters) {
              if (dir::SameUuid(seen, *uuid)) report->Add(where + " repeats an earlier one");
            }
            clusters->push_back(*uuid);
          });
  if (expected == 0) report->Add("there is no server sub-cluster");
}

// A row's 64-byte header must say what its key says, and its sub-cluster must be one of the
// directory's: a lookup hands out the header as it is stored.
void CheckRow(const dir::EntryKey &key, std::span<const uint8_t> header, uint64_t valueLength,
              const std::vector<OlvaUUID> &clusters, Report *report) {
  const std::string where = "entry " + dir::UuidToText(key.uuid) + " owner " +
                            dir::UuidToText(key.owner) + " type " + std::to_string(key.type) +
                            " revision " + std::to_string(key.revision);
  bool known = false;
  for (const OlvaUUID &server : clusters) known = known || dir::SameUuid(server, key.cluster);
  if (!known) {
    report->Add(where + ": sub-cluster " + dir::UuidToText(key.cluster) +
                " is not a server sub-cluster");
  }
  if (header.size() != sizeof(TarneEntry)) {
    report->Add(where + ": the header is " + std::to_string(header.size()) + " bytes");
    return;
  }
  TarneEntry stored;
  std::memcpy(&stored, header.data(), sizeof stored);
  std::vector<std::string> wrong;
  if (!dir::SameUuid(stored.uuid, key.uuid)) wrong.emplace_back("uuid");
  if (!dir::SameUuid(stored.owner, key.owner)) wrong.emplace_back("owner");
  if ((stored.type & dir::kTypeMask) != key.type) wrong.emplace_back("type");
  if (stored.revision != key.revision) wrong.emplace_back("revision");
  if (stored.valueLen != valueLength) wrong.emplace_back("valueLen");
  for (const std::string &field : wrong) {
    std::string problem = where;
    problem.append(": the header's ").append(field).append(" differs");
    report->Add(std::move(problem));
  }
}

void CheckRows(dir::Connection &connection, const std::vector<OlvaUUID> &clusters, uint64_t *rows,
               Report *report) {
  EachRow(connection,
          "SELECT uuid, owner, type, revision, cluster, header, length(value) FROM entries", report,
          [&](const dir::StatementUse &row) {
            ++*rows;
            const std::optional<OlvaUUID> uuid = AsUuid(row.Blob(0)), owner = AsUuid(row.Blob(1)),
                                          cluster = AsUuid(row.Blob(4));
            const std::span<const uint8_t> revision = row.Blob(3);
            const int64_t type = row.Int(2);
            if (!uuid || !owner || !cluster || revision.size() != 8 || type < 0 ||
                type > dir::kTypeMask) {
              report->Add("row " + std::to_string(*rows) + ": a key column is malformed");
              return;
            }
            const dir::EntryKey key{*uuid, *owner, static_cast<uint8_t>(type),
                                    dir::DecodeRevision(revision.first<8>()), *cluster};
            CheckRow(key, row.Blob(5), static_cast<uint64_t>(row.Int(6)), clusters, report);
          });
}

// The file, inside one read transaction: one snapshot for every check, while writers go on.
bool CheckFile(const std::string &path, Report *report, uint64_t *rows) {
  std::string error;
  std::unique_ptr<dir::Connection> connection =
      dir::Connection::Open(path, dir::Connection::OpenMode::kExisting, &error);
  if (connection == nullptr) {
    (void)std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", path.c_str(),
                       error.c_str());
    return false;
  }
  connection->Execute("BEGIN");
  if (CheckIntegrity(*connection, report)) {
    std::vector<OlvaUUID> clusters;
    CheckIdentity(*connection, &clusters, report);
    CheckRows(*connection, clusters, rows, report);
  }
  connection->Execute("COMMIT");
  return true;
}

// The node file's identity, every row of one snapshot of the cluster, and the keys of every
// listing order.
bool CheckCluster(const std::string &location, Report *report, uint64_t *rows) {
  std::string error;
  dir::NodeFile node;
  if (!dir::ReadNodeFile(dir::NodePath(), &node, &error)) {
    report->Add("node file: " + error);
    return true;
  }
  std::optional<OpenDirectory> directory = OpenExistingDirectory(location);
  if (!directory) return false;
  const PEK_ReturnStatus status = directory->store->ReadSnapshot([&](const dir::RowView &row) {
    ++*rows;
    CheckRow(row.key, row.header, row.value.size(), node.identity.clusters, report);
    return true;
  });
  if (status != 0) report->Add("cannot read the rows: " + StoreFailureText(status));
  const auto problem = [&](std::string found) { report->Add(std::move(found)); };
  if (!CheckClusterOrders(*directory->store, problem, &error)) report->Add(error);
  // A cluster with an alarm raised refuses writes, however sound its rows.
  const std::optional<dir::ClusterLocation> cluster = dir::ParseClusterLocation(location);
  if (cluster && !CheckClusterAlarms(*directory->store, *cluster, problem, &error)) {
    report->Add(error);
  }
  return true;
}

}  // namespace

int RunCheck(std::span<char *const> words) {
  const Command &command = CommandNamed("check");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments = ParseOptionsOnly(command, words, {}, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string path = arguments->DirectoryPath();
  Report report;
  uint64_t rows = 0;
  if (!(dir::IsClusterLocation(path) ? CheckCluster : CheckFile)(path, &report, &rows)) {
    return kExitFailure;
  }
  if (report.Count() != 0) {
    report.Print(path);
    return kExitFailure;
  }
  (void)std::printf("%s: ok, %llu entries\n", path.c_str(), static_cast<unsigned long long>(rows));
  return kExitSuccess;
}

}  // namespace olva::admin
