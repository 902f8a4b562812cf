// tarne-admin info: what the directory records about the node, and how much it holds.
#include <cstdio>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "directory/uuid_util.h"

namespace olva::admin {

int RunInfo(std::span<char *const> words) {
  const Command &command = CommandNamed("info");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments = ParseOptionsOnly(command, words, {}, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string path = arguments->DirectoryPath();
  std::optional<OpenDirectory> directory = OpenExistingDirectory(path);
  if (!directory) return kExitFailure;
  const std::optional<uint64_t> count = directory->store->CountEntries();
  if (!count) {
    (void)std::fprintf(stderr, "tarne-admin: cannot count the entries of %s\n", path.c_str());
    return kExitFailure;
  }
  std::printf("directory: %s\n", path.c_str());
  std::printf("self: %s\n", dir::UuidToText(directory->info.self).c_str());
  for (const OlvaUUID &cluster : directory->info.clusters) {
    std::printf("cluster: %s\n", dir::UuidToText(cluster).c_str());
  }
  std::printf("entries: %llu\n", static_cast<unsigned long long>(*count));
  return kExitSuccess;
}

}  // namespace olva::admin
