// tarne-admin status: where the directory is and whether it serves, for the operator whose
// tarne-tool said "No connection", and for monitoring (-f json). On a cluster it asks every
// member for its own status, so that a member down, an alarm or a lost leader shows even
// while the directory still serves; when the library cannot open the directory it names the
// cause.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "admin_arguments.h"
#include "admin_cluster.h"
#include "admin_commands.h"
#include "directory/directory_location.h"
#include "directory/etcd/etcd_metrics.h"
#include "directory/host_location.h"
#include "directory/node_file.h"
#include "directory/sqlite/sqlite_connection.h"
#include "directory/store_opener.h"
#include "status_report.h"

namespace olva::admin {
namespace {

// How long a member may take to tell its status: a frozen member costs this much.
constexpr std::chrono::milliseconds kMemberDeadline{2000};

constexpr OptionSpec kStatusOptions[] = {{"format", true, false}};

// Where a setting came from: its variable when set (an empty one counts as unset, as the
// library takes it), else the default.
std::string SourceOf(const char *variable) {
  const char *value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? variable : "default";
}

void Unreachable(StatusReport *report, std::string problem) {
  report->health = Health::kUnreachable;
  report->problems.push_back(std::move(problem));
}
void Degraded(StatusReport *report, std::string problem) {
  if (report->health == Health::kHealthy) report->health = Health::kDegraded;
  report->problems.push_back(std::move(problem));
}

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
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(about.st_mode & 07777));
    return "permissions: user " + std::to_string(geteuid()) + " cannot read and write " + path +
           " (mode " + mode + ", owner " + std::to_string(about.st_uid) + ")";
  }
  return {};
}

void FileStatus(const std::string &path, StatusReport *report) {
  if (std::string cause = FileCause(path); !cause.empty()) {
    Unreachable(report, std::move(cause));
    return;
  }
  std::string error;
  dir::DirectoryInfo info;
  const std::unique_ptr<dir::DirectoryStore> store =
      dir::OpenDirectoryStore(path, dir::NodePath(), &info, &error);
  if (store == nullptr) {
    Unreachable(report, "cannot open " + path + ": " + error);
    return;
  }
  report->entries = store->CountEntries();
  const std::unique_ptr<dir::Connection> connection =
      dir::Connection::Open(path, dir::Connection::OpenMode::kExisting, &error);
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
  if (!report->entries) Degraded(report, "cannot count the entries of " + path);
}

// Whether gRPC's words for a member that did not answer say it refused this host's TLS: a
// failed handshake; over TLS 1.3, a client certificate the member refused shows only at the
// first read, or as the connection reset; a member that serves TLS only hangs up on a plain
// connection.
bool TlsRefusal(const std::string &error, bool tlsLocation) {
  for (const char *word : {"Ssl", "SSL", "ssl", "handshake", "certificate"}) {
    if (error.find(word) != std::string::npos) return true;
  }
  if (!tlsLocation) return error.find("Socket closed") != std::string::npos;
  return error.find("Endpoint read failed") != std::string::npos ||
         error.find("Connection reset by peer") != std::string::npos;
}

void ClusterStatus(const std::string &text, StatusReport *report) {
  report->cluster = true;
  const std::optional<dir::ClusterLocation> location = dir::ParseClusterLocation(text);
  if (!location) {
    Unreachable(report, "not a cluster location: " + text +
                            " (etcd://HOST:PORT[,HOST:PORT...][/PREFIX], or etcds:// for TLS)");
    return;
  }
  dir::NodeFile node;
  std::string error;
  if (!dir::ReadNodeFile(report->nodeFile, &node, &error)) {
    Unreachable(report, "node file " + report->nodeFile + ": " + error +
                            " (tarne-admin init --directory LOCATION writes it)");
    return;
  }
  const std::unique_ptr<dir::etcd::Client> client =
      dir::etcd::Client::Connect(*location, node.tls, &error);
  if (client == nullptr) {
    Unreachable(report, "TLS files of the node file: " + error);
    return;
  }

  const std::vector<dir::etcd::MemberStatus> statuses =
      ReadMemberStatuses(*client, kMemberDeadline);
  std::vector<std::string> down;
  bool anyAnswered = false, allTls = true;
  uint64_t leader = 0;
  for (size_t i = 0; i < statuses.size(); ++i) {
    const dir::etcd::MemberStatus &status = statuses[i];
    MemberReport member;
    member.endpoint = location->endpoints[i];
    member.answered = status.answered;
    member.error = status.error;
    if (status.answered) {
      anyAnswered = true;
      member.leads = status.leader == status.id;
      if (leader == 0) leader = status.leader;
      member.raftTerm = status.raftTerm;
      member.revision = status.revision;
      member.dbSize = status.dbSize;
      member.dbSizeInUse = status.dbSizeInUse;
      member.version = status.version;
      const std::optional<std::string> metrics =
          dir::etcd::ReadMetrics(member.endpoint, location->tls, node.tls, kMemberDeadline, &error);
      if (metrics) {
        const std::optional<double> quota =
            dir::etcd::MetricValue(*metrics, dir::etcd::kQuotaMetric);
        if (quota) member.quota = static_cast<int64_t>(*quota);
      }
      report->revision = std::max(report->revision.value_or(0), status.revision);
    } else {
      allTls = allTls && TlsRefusal(status.error, location->tls);
      Degraded(report, "member " + member.endpoint + " does not answer: " + status.error);
    }
    report->members.push_back(std::move(member));
  }
  if (!anyAnswered) {
    report->problems.clear();
    if (!allTls) {
      Unreachable(report, "no member answered: " + statuses.front().error +
                              " (are the members running, and the location's ports theirs?)");
    } else if (location->tls) {
      Unreachable(report,
                  "TLS refused: the members refused this host's connection (the node "
                  "file's ca must be the authority of the members' certificates, its "
                  "cert one that authority signed, still valid): " +
                      statuses.front().error);
    } else {
      Unreachable(report,
                  "TLS refused: the members hang up on a plain connection: they serve "
                  "TLS only (use etcds:// and the node file's ca, cert and key): " +
                      statuses.front().error);
    }
    return;
  }
  if (leader != 0) {
    report->leader = MemberName(*location, statuses, leader);
  } else {
    // Without a leader the members answer no read: the alarms and the history stay unknown.
    Degraded(report,
             "no leader: the members that answer cannot elect one (most members must be "
             "up and reach each other); the cluster refuses reads and writes");
  }

  std::vector<ClusterAlarm> alarms;
  if (leader != 0 && ReadClusterAlarms(*client, *location, statuses, &alarms, &error)) {
    report->alarms.emplace();
    for (const ClusterAlarm &alarm : alarms) {
      report->alarms->push_back({alarm.name, alarm.member});
      Degraded(report,
               "alarm " + alarm.name + " on " + alarm.member + ": " + AlarmMeaning(alarm.name));
    }
  } else if (leader != 0) {
    Degraded(report, error);
  }
  if (report->revision && leader != 0) {
    report->compactedRevision = dir::etcd::CompactedRevision(*client, *report->revision, &error);
  }

  dir::DirectoryInfo info;
  const std::unique_ptr<dir::DirectoryStore> store =
      dir::OpenDirectoryStore(text, report->nodeFile, &info, &error);
  if (store == nullptr) {
    Unreachable(report, "cannot open the directory: " + error);
    return;
  }
  report->entries = store->CountEntries();
  if (!report->entries) Degraded(report, "cannot count the entries");
}

}  // namespace

int RunStatus(std::span<char *const> words) {
  const Command &command = CommandNamed("status");
  int usageStatus = kExitUsage;
  // -f is --format's short form, as tarne-tool's -f.
  std::vector<char *> spelled(words.begin(), words.end());
  static char formatOption[] = "--format";
  for (char *&word : spelled) {
    if (std::strcmp(word, "-f") == 0) word = formatOption;
  }
  const std::optional<Arguments> arguments =
      ParseOptionsOnly(command, spelled, kStatusOptions, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string format = arguments->Value("format").value_or("text");
  if (format != "text" && format != "json") {
    return UsageError(command, "unknown format " + format + " (text or json)");
  }

  StatusReport report;
  report.version = kVersion;
  report.nodeFile = dir::NodePath();
  report.nodeSource = SourceOf(dir::kNodeVariable);
  if (const std::optional<std::string> given = arguments->Value("directory")) {
    report.location = *given;
    report.locationSource = "--directory";
  } else {
    std::string error;
    if (!dir::HostDirectoryLocation(&report.location, &error)) {
      // The node file that would say where the directory is cannot be trusted.
      report.locationSource = "node file";
      Unreachable(&report, "node file " + report.nodeFile + ": " + error);
      (format == "json" ? PrintStatusJson : PrintStatusText)(report, stdout);
      return static_cast<int>(report.health);
    }
    const std::string variable = SourceOf(dir::kDirectoryVariable);
    report.locationSource = variable != "default"                           ? variable
                            : report.location == dir::kDefaultDirectoryPath ? "default"
                                                                            : "node file";
  }
  if (dir::IsClusterLocation(report.location)) {
    ClusterStatus(report.location, &report);
  } else {
    FileStatus(report.location, &report);
  }
  (format == "json" ? PrintStatusJson : PrintStatusText)(report, stdout);
  return static_cast<int>(report.health);
}

}  // namespace olva::admin
