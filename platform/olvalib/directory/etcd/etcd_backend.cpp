// The cluster's record: the library opens the directory with the node file's identity;
// tarne-admin creates or joins it, checks its rows, listing orders and alarms, loads a dump in
// batches, reports every member's status, compacts its history and moves the earlier key
// layout.
#include "etcd_backend.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "client/tarne_status_codes.h"
#include "directory/directory_location.h"
#include "directory/node_file.h"
#include "directory/row_check.h"
#include "etcd_admin.h"
#include "etcd_maintenance.h"
#include "etcd_metrics.h"
#include "etcd_store.h"

namespace olva::dir {
namespace {

// How long a member may take to tell its status: a frozen member costs this much.
constexpr std::chrono::milliseconds kMemberDeadline{2000};

// The TLS files, as absolute paths so that every process of the host finds them; nothing
// after a usage error (*usage) when they are given without each other or without TLS.
std::optional<TlsFiles> TlsFilesOf(const InitRequest &request, bool tls, std::string *usage) {
  const std::optional<std::string> *given[] = {&request.ca, &request.cert, &request.key};
  size_t count = 0;
  for (const std::optional<std::string> *file : given) count += file->has_value() ? 1 : 0;
  if (count == 0) return TlsFiles{};
  if (count != std::size(given)) {
    *usage = "--ca, --cert and --key go together";
    return std::nullopt;
  }
  if (!tls) {
    *usage = "--ca, --cert and --key need a directory at etcds://";
    return std::nullopt;
  }
  const auto absolute = [](const std::string &file) {
    std::error_code ignored;  // a path that cannot be made absolute is kept as given
    const std::filesystem::path path = std::filesystem::absolute(file, ignored);
    return path.empty() ? file : path.string();
  };
  return TlsFiles{absolute(*request.ca), absolute(*request.cert), absolute(*request.key)};
}

// A failed init leaves no directory of its own making behind: a host that runs it again
// creates the directory rather than joining an empty one that nobody else knows of. What
// cannot be taken back is named, with the command that removes it.
void TakeBack(const ClusterLocation &cluster, const TlsFiles &tls, const std::string &location,
              int64_t createdRevision, bool force) {
  std::string markerKey;
  std::string error;
  const PEK_ReturnStatus status =
      EtcdStore::RemoveCreatedDirectory(cluster, tls, createdRevision, &markerKey, &error);
  const char *replaced = force ? " (the directory --force replaced is gone)" : "";
  if (status == TARNE_STATUS_SUCCESS) {
    (void)std::fprintf(stderr, "tarne-admin: the directory created at %s was removed again%s\n",
                       location.c_str(), replaced);
    return;
  }
  std::string endpoints;
  for (const std::string &endpoint : cluster.endpoints) {
    if (!endpoints.empty()) endpoints += ',';
    if (cluster.tls) endpoints += "https://";
    endpoints += endpoint;
  }
  if (tls.Given()) {
    endpoints += " --cacert=" + tls.ca + " --cert=" + tls.cert + " --key=" + tls.key;
  }
  (void)std::fprintf(
      stderr,
      "tarne-admin: the directory created at %s is still there (%s)%s: remove it with "
      "`ETCDCTL_API=3 etcdctl --endpoints=%s del '%s'` before running init again\n",
      location.c_str(), error.c_str(), replaced, endpoints.c_str(), markerKey.c_str());
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

class ClusterBackend final : public DirectoryBackend {
 public:
  std::unique_ptr<DirectoryStore> Open(const std::string &location, const std::string &nodePath,
                                       DirectoryInfo *info, std::string *error) const override {
    const std::optional<ClusterLocation> cluster = ParseClusterLocation(location);
    if (!cluster) {
      *error = "not a cluster location: " + location;
      return nullptr;
    }
    NodeFile node;
    if (!ReadNodeFile(nodePath, &node, error)) return nullptr;
    std::unique_ptr<EtcdStore> store = EtcdStore::Open(*cluster, node.tls, error);
    if (store != nullptr) *info = std::move(node.identity);
    return store;
  }

  // The shared directory when there is none under the prefix yet (--force replaces it, every
  // host's entries with it), then this host's node file.
  AdminOutcome Init(const InitRequest &request, std::string *usage) const override {
    const std::string &location = request.location;
    const std::optional<ClusterLocation> cluster = ParseClusterLocation(location);
    if (!cluster) {
      *usage = "bad cluster location " + location;
      return AdminOutcome::kUsage;
    }
    const std::optional<TlsFiles> tls = TlsFilesOf(request, cluster->tls, usage);
    if (!tls) return AdminOutcome::kUsage;
    if (!ValidIdentity(request.identity)) {
      *usage = "a sub-cluster given twice, or a reserved UUID given";
      return AdminOutcome::kUsage;
    }
    const bool force = request.force;
    const std::string &nodePath = request.nodePath;
    const auto nodeExists = [&] {
      (void)std::fprintf(stderr, "tarne-admin: %s already exists (--force replaces it)\n",
                         nodePath.c_str());
      return AdminOutcome::kFailed;
    };
    std::error_code ignored;
    if (!force && std::filesystem::exists(std::filesystem::symlink_status(nodePath, ignored))) {
      return nodeExists();
    }

    std::string error;
    int64_t createdRevision = 0;
    PEK_ReturnStatus status =
        EtcdStore::CreateDirectory(*cluster, *tls, force, &error, &createdRevision);
    const bool joined = status == TARNE_STATUS_ALREADY_EXISTS;
    if (status != TARNE_STATUS_SUCCESS && !joined) {
      (void)std::fprintf(stderr, "tarne-admin: cannot create %s: %s\n", location.c_str(),
                         error.c_str());
      return AdminOutcome::kFailed;
    }
    // The node file records the location, so that the host's programs find the directory
    // without TARNE_DIRECTORY.
    status = WriteNodeFile(nodePath, {request.identity, *tls, location}, force, &error);
    if (status == TARNE_STATUS_SUCCESS) {
      std::printf("%s: %s; node file %s\n", location.c_str(),
                  joined ? "joined the directory already there" : "created", nodePath.c_str());
      return AdminOutcome::kDone;
    }
    if (status == TARNE_STATUS_ALREADY_EXISTS) {
      nodeExists();
    } else {
      (void)std::fprintf(stderr, "tarne-admin: cannot write the node file: %s\n", error.c_str());
    }
    if (!joined) TakeBack(*cluster, *tls, location, createdRevision, force);
    return AdminOutcome::kFailed;
  }

  // A cluster holds no identity: the node file's, every row of one snapshot of the cluster,
  // the keys of every listing order, and the members' alarms.
  bool Check(const std::string &location, const std::string &nodePath, const ProblemSink &problem,
             uint64_t *rows) const override {
    std::string error;
    NodeFile node;
    if (!ReadNodeFile(nodePath, &node, &error)) {
      problem("node file: " + error);
      return true;
    }
    DirectoryInfo info;
    const std::unique_ptr<DirectoryStore> opened = Open(location, nodePath, &info, &error);
    if (opened == nullptr) {
      (void)std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", location.c_str(),
                         error.c_str());
      return false;
    }
    auto &store = static_cast<EtcdStore &>(*opened);
    // Held until the read ends: a read that begins again finds them again.
    std::vector<std::string> rowProblems;
    const PEK_ReturnStatus status = store.ReadSnapshot(
        [&](const RowView &row) {
          ++*rows;
          CheckRow(row.key, row.header, row.value.size(), node.identity.clusters,
                   [&](const std::string &found) { rowProblems.push_back(found); });
          return true;
        },
        [&] {
          *rows = 0;
          rowProblems.clear();
          return true;
        });
    for (const std::string &found : rowProblems) problem(found);
    if (status != 0) problem("cannot read the rows: " + StoreFailureText(status));
    if (store.CheckOrders([&](const std::string &found) { problem(found); }) !=
        TARNE_STATUS_SUCCESS) {
      problem("cannot read the keys of the listing orders");
    }
    // A cluster with an alarm raised refuses writes, however sound its rows.
    const ClusterLocation cluster = *ParseClusterLocation(location);
    // The members' own statuses name the members the alarms are raised on.
    const std::vector<etcd::MemberStatus> statuses =
        etcd::ReadMemberStatuses(store.ClusterClient(), etcd::kCallDeadline);
    std::vector<etcd::ClusterAlarm> alarms;
    if (!etcd::ReadClusterAlarms(store.ClusterClient(), cluster, statuses, &alarms, &error)) {
      problem(error);
      return true;
    }
    for (const etcd::ClusterAlarm &alarm : alarms) {
      problem("alarm " + alarm.name + " raised on " + alarm.member + ": " +
              etcd::AlarmMeaning(alarm.name));
    }
    return true;
  }

  // No transaction holds a whole dump: the entries go in batches through the store.
  std::unique_ptr<BulkLoad> OpenBulkLoad(const std::string &, DirectoryStore &store,
                                         const DirectoryInfo &info, std::string *) const override {
    return MakeBatchedLoad(store, info);
  }

  // Asks every member for its own status, so that a member down, an alarm or a lost leader
  // shows even while the directory still serves.
  void Status(const std::string &text, StatusReport *report) const override {
    report->cluster = true;
    const std::optional<ClusterLocation> location = ParseClusterLocation(text);
    if (!location) {
      report->Unreachable("not a cluster location: " + text +
                          " (etcd://HOST:PORT[,HOST:PORT...][/PREFIX], or etcds:// for TLS)");
      return;
    }
    NodeFile node;
    std::string error;
    if (!ReadNodeFile(report->nodeFile, &node, &error)) {
      report->Unreachable("node file " + report->nodeFile + ": " + error +
                          " (tarne-admin init --directory LOCATION writes it)");
      return;
    }
    const std::unique_ptr<etcd::Client> client = etcd::Client::Connect(*location, node.tls, &error);
    if (client == nullptr) {
      report->Unreachable("TLS files of the node file: " + error);
      return;
    }

    const std::vector<etcd::MemberStatus> statuses =
        etcd::ReadMemberStatuses(*client, kMemberDeadline);
    bool anyAnswered = false, allTls = true;
    uint64_t leader = 0;
    for (size_t i = 0; i < statuses.size(); ++i) {
      const etcd::MemberStatus &status = statuses[i];
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
            etcd::ReadMetrics(member.endpoint, location->tls, node.tls, kMemberDeadline, &error);
        if (metrics) {
          const std::optional<double> quota = etcd::MetricValue(*metrics, etcd::kQuotaMetric);
          if (quota) member.quota = static_cast<int64_t>(*quota);
        }
        report->revision = std::max(report->revision.value_or(0), status.revision);
      } else {
        allTls = allTls && TlsRefusal(status.error, location->tls);
        report->Degraded("member " + member.endpoint + " does not answer: " + status.error);
      }
      report->members.push_back(std::move(member));
    }
    if (!anyAnswered) {
      report->problems.clear();
      if (!allTls) {
        report->Unreachable("no member answered: " + statuses.front().error +
                            " (are the members running, and the location's ports theirs?)");
      } else if (location->tls) {
        report->Unreachable(
            "TLS refused: the members refused this host's connection (the node "
            "file's ca must be the authority of the members' certificates, its "
            "cert one that authority signed, still valid): " +
            statuses.front().error);
      } else {
        report->Unreachable(
            "TLS refused: the members hang up on a plain connection: they serve "
            "TLS only (use etcds:// and the node file's ca, cert and key): " +
            statuses.front().error);
      }
      return;
    }
    if (leader != 0) {
      report->leader = etcd::MemberName(*location, statuses, leader);
    } else {
      // Without a leader the members answer no read: the alarms and the history stay unknown.
      report->Degraded(
          "no leader: the members that answer cannot elect one (most members must be "
          "up and reach each other); the cluster refuses reads and writes");
    }

    std::vector<etcd::ClusterAlarm> alarms;
    if (leader != 0 && etcd::ReadClusterAlarms(*client, *location, statuses, &alarms, &error)) {
      report->alarms.emplace();
      for (const etcd::ClusterAlarm &alarm : alarms) {
        report->alarms->push_back({alarm.name, alarm.member});
        report->Degraded("alarm " + alarm.name + " on " + alarm.member + ": " +
                         etcd::AlarmMeaning(alarm.name));
      }
    } else if (leader != 0) {
      report->Degraded(error);
    }
    if (report->revision && leader != 0) {
      report->compactedRevision = etcd::CompactedRevision(*client, *report->revision, &error);
    }

    DirectoryInfo info;
    const std::unique_ptr<DirectoryStore> store = Open(text, report->nodeFile, &info, &error);
    if (store == nullptr) {
      report->Unreachable("cannot open the directory: " + error);
      return;
    }
    report->entries = store->CountEntries();
    if (!report->entries) report->Degraded("cannot count the entries");
  }

  // etcd keeps every revision of every key until its history is compacted, and its database
  // keeps its size until each member is defragmented; at the members' quota the cluster
  // refuses every write that adds a key until its space alarm is cleared. This does all
  // three, so it is also the way out of that state.
  AdminOutcome Compact(const std::string &path, const std::string &nodePath) const override {
    const std::optional<ClusterLocation> location = ParseClusterLocation(path);
    if (!location) return AdminOutcome::kUnsupported;
    std::string error;
    DirectoryInfo info;
    const std::unique_ptr<DirectoryStore> opened = Open(path, nodePath, &info, &error);
    if (opened == nullptr) {
      (void)std::fprintf(stderr, "tarne-admin: cannot open directory %s: %s\n", path.c_str(),
                         error.c_str());
      return AdminOutcome::kFailed;
    }
    auto &store = static_cast<EtcdStore &>(*opened);
    const auto member = [&](int index) {
      return index < 0 ? std::string("the cluster")
                       : location->endpoints[static_cast<size_t>(index)];
    };
    const bool whole = etcd::ReclaimSpace(store.ClusterClient(), [&](const etcd::SpaceStep &step) {
      using Kind = etcd::SpaceStep::Kind;
      switch (step.kind) {
        case Kind::kCompacted:
          std::printf("compacted: history kept from revision %lld\n",
                      static_cast<long long>(step.revision));
          break;
        case Kind::kDefragmented:
          std::printf("defragmented %s: %lld bytes, %lld before\n", member(step.member).c_str(),
                      static_cast<long long>(step.bytesAfter),
                      static_cast<long long>(step.bytesBefore));
          break;
        case Kind::kAlarmCleared:
          std::printf("space alarm cleared on %s\n", member(step.member).c_str());
          break;
        case Kind::kFailed:
          (void)std::fprintf(stderr, "tarne-admin: %s: %s\n", member(step.member).c_str(),
                             step.error.c_str());
          break;
      }
      (void)std::fflush(stdout);
    });
    return whole ? AdminOutcome::kDone : AdminOutcome::kFailed;
  }

  // The earlier key layout took a prefix with '%' or '/' as it was; the current one cannot be
  // reached by any nested prefix.
  AdminOutcome Upgrade(const std::string &path, const std::string &nodePath,
                       std::string *) const override {
    const std::optional<ClusterLocation> cluster = ParseClusterLocation(path);
    if (!cluster) return AdminOutcome::kUnsupported;
    NodeFile node;
    std::string error;
    if (!ReadNodeFile(nodePath, &node, &error)) {
      (void)std::fprintf(stderr, "tarne-admin: %s\n", error.c_str());
      return AdminOutcome::kFailed;
    }
    uint64_t moved = 0;
    if (EtcdStore::MoveEarlierLayout(*cluster, node.tls, &moved, &error) != TARNE_STATUS_SUCCESS) {
      (void)std::fprintf(stderr, "tarne-admin: cannot move %s: %s\n", path.c_str(), error.c_str());
      return AdminOutcome::kFailed;
    }
    std::printf("%s: moved %llu entries to the current key layout\n", path.c_str(),
                static_cast<unsigned long long>(moved));
    return AdminOutcome::kDone;
  }
};

}  // namespace

const DirectoryBackend &EtcdBackend() {
  static const ClusterBackend backend;
  return backend;
}

}  // namespace olva::dir
