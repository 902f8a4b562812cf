// tarne-admin upgrade: moves a cluster directory written in the earlier key layout, which took
// a prefix with '%' or '/' as it was, to the current one, which no nested prefix can reach.
#include <cstdio>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "client/tarne_status_codes.h"
#include "directory/etcd/etcd_store.h"

namespace olva::admin {

int RunUpgrade(std::span<char *const> words) {
  const Command &command = CommandNamed("upgrade");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments = ParseOptionsOnly(command, words, {}, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string path = arguments->DirectoryPath();
  const std::optional<dir::ClusterLocation> cluster = dir::ParseClusterLocation(path);
  if (!cluster) return UsageError(command, "not a cluster location: " + path);
  dir::NodeFile node;
  std::string error;
  if (!dir::ReadNodeFile(dir::NodePath(), &node, &error)) {
    std::fprintf(stderr, "tarne-admin: %s\n", error.c_str());
    return kExitFailure;
  }
  uint64_t moved = 0;
  if (dir::EtcdStore::MoveEarlierLayout(*cluster, node.tls, &moved, &error) !=
      TARNE_STATUS_SUCCESS) {
    std::fprintf(stderr, "tarne-admin: cannot move %s: %s\n", path.c_str(), error.c_str());
    return kExitFailure;
  }
  std::printf("%s: moved %llu entries to the current key layout\n", path.c_str(),
              static_cast<unsigned long long>(moved));
  return kExitSuccess;
}

}  // namespace olva::admin
