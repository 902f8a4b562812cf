// tarne-admin compact: gives a cluster's space back. etcd keeps every revision of every key
// until its history is compacted, and its database keeps its size until each member is
// defragmented; at the members' quota the cluster refuses every write that adds a key until
// its space alarm is cleared. This does all three, so it is also the way out of that state.
#include <cstdio>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "directory/directory_location.h"
#include "directory/etcd/etcd_maintenance.h"
#include "directory/etcd/etcd_store.h"

namespace olva::admin {

int RunCompact(std::span<char *const> words) {
  const Command &command = CommandNamed("compact");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments = ParseOptionsOnly(command, words, {}, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string path = arguments->DirectoryPath();
  const std::optional<dir::ClusterLocation> location = dir::ParseClusterLocation(path);
  if (!location) {
    std::fprintf(stderr, "tarne-admin: %s is not a directory on a cluster: nothing to compact\n",
                 path.c_str());
    return kExitFailure;
  }
  std::optional<OpenDirectory> directory = OpenExistingDirectory(path);
  if (!directory) return kExitFailure;
  auto *store = dynamic_cast<dir::EtcdStore *>(directory->store.get());
  if (store == nullptr) return kExitFailure;  // a cluster location opens a cluster's store
  const auto member = [&](int index) {
    return index < 0 ? std::string("the cluster") : location->endpoints[static_cast<size_t>(index)];
  };
  const bool whole =
      dir::etcd::ReclaimSpace(store->ClusterClient(), [&](const dir::etcd::SpaceStep &step) {
        using Kind = dir::etcd::SpaceStep::Kind;
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
            std::fprintf(stderr, "tarne-admin: %s: %s\n", member(step.member).c_str(),
                         step.error.c_str());
            break;
        }
        std::fflush(stdout);
      });
  return whole ? kExitSuccess : kExitFailure;
}

}  // namespace olva::admin
