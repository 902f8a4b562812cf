// tarne-admin init: creates a directory with the node's identity: a SQLite file that holds
// both, or, on a cluster, this host's node file and the shared directory when it is new.
#include <cstdio>
#include <filesystem>

#include "admin_arguments.h"
#include "admin_cluster.h"
#include "admin_commands.h"
#include "client/tarne_status_codes.h"
#include "directory/directory_location.h"
#include "directory/node_file.h"
#include "directory/sqlite/directory_schema.h"
#include "directory/uuid_util.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kOptions[] = {
    {"self", true, false}, {"cluster", true, true}, {"force", false, false},
    {"ca", true, false},   {"cert", true, false},   {"key", true, false},
};
constexpr const char *kTlsOptions[] = {"ca", "cert", "key"};

const Command &ThisCommand() {
  return CommandNamed("init");
}

std::optional<OlvaUUID> GivenOrRandom(const std::optional<std::string> &text, const char *what,
                                      std::string *error) {
  if (!text) {
    std::optional<OlvaUUID> uuid = dir::RandomUuid();
    if (!uuid) *error = "cannot read the system's random source";
    return uuid;
  }
  std::optional<OlvaUUID> uuid = dir::UuidFromText(*text);
  if (!uuid) *error = std::string("bad ") + what + " UUID " + *text;
  return uuid;
}

// The TLS files, as absolute paths so that every process of the host finds them; nothing
// after a usage error (*exitStatus) when they are given without each other or without TLS.
std::optional<dir::TlsFiles> TlsFiles(const Arguments &arguments, bool tls, int *exitStatus) {
  size_t given = 0;
  for (const char *name : kTlsOptions) given += arguments.Has(name) ? 1 : 0;
  if (given == 0) return dir::TlsFiles{};
  if (given != std::size(kTlsOptions)) {
    *exitStatus = UsageError(ThisCommand(), "--ca, --cert and --key go together");
    return std::nullopt;
  }
  if (!tls) {
    *exitStatus = UsageError(ThisCommand(), "--ca, --cert and --key need a directory at etcds://");
    return std::nullopt;
  }
  const auto absolute = [&](const char *name) {
    std::error_code ignored;  // a path that cannot be made absolute is kept as given
    const std::string given = *arguments.Value(name);
    const std::filesystem::path path = std::filesystem::absolute(given, ignored);
    return path.empty() ? given : path.string();
  };
  return dir::TlsFiles{absolute("ca"), absolute("cert"), absolute("key")};
}

// A failed init leaves no directory of its own making behind: a host that runs it again
// creates the directory rather than joining an empty one that nobody else knows of. What
// cannot be taken back is named, with the command that removes it.
void TakeBack(const dir::ClusterLocation &cluster, const dir::TlsFiles &tls,
              const std::string &location, int64_t createdRevision, bool force) {
  std::string markerKey;
  std::string error;
  const PEK_ReturnStatus status =
      RemoveCreatedClusterDirectory(cluster, tls, createdRevision, &markerKey, &error);
  const char *replaced = force ? " (the directory --force replaced is gone)" : "";
  if (status == TARNE_STATUS_SUCCESS) {
    std::fprintf(stderr, "tarne-admin: the directory created at %s was removed again%s\n",
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
  std::fprintf(stderr,
               "tarne-admin: the directory created at %s is still there (%s)%s: remove it with "
               "`ETCDCTL_API=3 etcdctl --endpoints=%s del '%s'` before running init again\n",
               location.c_str(), error.c_str(), replaced, endpoints.c_str(), markerKey.c_str());
}

// On a cluster: the shared directory when there is none under the prefix yet (--force
// replaces it, every host's entries with it), then this host's node file.
int InitCluster(const Arguments &arguments, const std::string &location,
                const dir::DirectoryInfo &info) {
  const std::optional<dir::ClusterLocation> cluster = dir::ParseClusterLocation(location);
  if (!cluster) return UsageError(ThisCommand(), "bad cluster location " + location);
  int usageStatus = kExitUsage;
  const std::optional<dir::TlsFiles> tls = TlsFiles(arguments, cluster->tls, &usageStatus);
  if (!tls) return usageStatus;
  if (!dir::ValidIdentity(info)) {
    return UsageError(ThisCommand(), "a sub-cluster given twice, or a reserved UUID given");
  }
  const bool force = arguments.Has("force");
  const std::string nodePath = dir::NodePath();
  const auto nodeExists = [&] {
    std::fprintf(stderr, "tarne-admin: %s already exists (--force replaces it)\n",
                 nodePath.c_str());
    return kExitFailure;
  };
  std::error_code ignored;
  if (!force && std::filesystem::exists(std::filesystem::symlink_status(nodePath, ignored))) {
    return nodeExists();
  }

  std::string error;
  int64_t createdRevision = 0;
  PEK_ReturnStatus status = CreateClusterDirectory(*cluster, *tls, force, &error, &createdRevision);
  const bool joined = status == TARNE_STATUS_ALREADY_EXISTS;
  if (status != TARNE_STATUS_SUCCESS && !joined) {
    std::fprintf(stderr, "tarne-admin: cannot create %s: %s\n", location.c_str(), error.c_str());
    return kExitFailure;
  }
  // The node file records the location, so that the host's programs find the directory
  // without TARNE_DIRECTORY.
  status = dir::WriteNodeFile(nodePath, {info, *tls, location}, force, &error);
  if (status == TARNE_STATUS_SUCCESS) {
    std::printf("%s: %s; node file %s\n", location.c_str(),
                joined ? "joined the directory already there" : "created", nodePath.c_str());
    return kExitSuccess;
  }
  if (status == TARNE_STATUS_ALREADY_EXISTS) {
    nodeExists();
  } else {
    std::fprintf(stderr, "tarne-admin: cannot write the node file: %s\n", error.c_str());
  }
  if (!joined) TakeBack(*cluster, *tls, location, createdRevision, force);
  return kExitFailure;
}

}  // namespace

int RunInit(std::span<char *const> words) {
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments =
      ParseOptionsOnly(ThisCommand(), words, kOptions, &usageStatus);
  if (!arguments) return usageStatus;
  std::string error;
  dir::DirectoryInfo info;
  const std::optional<OlvaUUID> self = GivenOrRandom(arguments->Value("self"), "self", &error);
  if (!self) return UsageError(ThisCommand(), error);
  info.self = *self;
  std::vector<std::string> clusters = arguments->Values("cluster");
  if (clusters.empty()) {
    const std::optional<OlvaUUID> cluster = GivenOrRandom(std::nullopt, "cluster", &error);
    if (!cluster) return UsageError(ThisCommand(), error);
    info.clusters.push_back(*cluster);
  }
  for (const std::string &text : clusters) {
    const std::optional<OlvaUUID> cluster = GivenOrRandom(text, "cluster", &error);
    if (!cluster) return UsageError(ThisCommand(), error);
    info.clusters.push_back(*cluster);
  }

  const std::string path = arguments->DirectoryPath();
  if (dir::IsClusterLocation(path)) return InitCluster(*arguments, path, info);
  for (const char *name : kTlsOptions) {
    if (arguments->Has(name)) {
      return UsageError(ThisCommand(), "--ca, --cert and --key need a directory at etcds://");
    }
  }
  const PEK_ReturnStatus status = dir::CreateDirectory(path, info, arguments->Has("force"), &error);
  if (status == TARNE_STATUS_ALREADY_EXISTS) {
    std::fprintf(stderr, "tarne-admin: %s already exists (--force replaces it)\n", path.c_str());
    return kExitFailure;
  }
  if (status == TARNE_STATUS_BAD_PARAMETER) return UsageError(ThisCommand(), error);
  if (status != TARNE_STATUS_SUCCESS) {
    std::fprintf(stderr, "tarne-admin: cannot create %s: %s\n", path.c_str(), error.c_str());
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace olva::admin
