// tarne-admin upgrade: moves a cluster directory written in the earlier key layout, which took
// a prefix with '%' or '/' as it was, to the current one, through its backend
// (directory_backend.h); a file has no earlier layout.
#include <cstdio>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "directory/directory_location.h"

namespace olva::admin {

int RunUpgrade(std::span<char *const> words) {
  const Command &command = CommandNamed("upgrade");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments = ParseOptionsOnly(command, words, {}, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string path = arguments->DirectoryPath();
  const dir::DirectoryBackend &backend = dir::BackendFor(path);
  std::string usage;
  switch (backend.Upgrade(path, dir::NodePath(), &usage)) {
    case dir::AdminOutcome::kDone:
      return kExitSuccess;
    case dir::AdminOutcome::kUnsupported:
      return UsageError(command, "not a cluster location: " + path);
    case dir::AdminOutcome::kUsage:
      return UsageError(command, usage);
    case dir::AdminOutcome::kFailed:
      break;
  }
  return kExitFailure;
}

}  // namespace olva::admin
