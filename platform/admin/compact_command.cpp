// tarne-admin compact: gives a cluster's space back, through its backend's compaction
// (directory_backend.h), which prints each step; a file has nothing to compact.
#include <cstdio>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "directory/directory_location.h"

namespace olva::admin {

int RunCompact(std::span<char *const> words) {
  const Command &command = CommandNamed("compact");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments = ParseOptionsOnly(command, words, {}, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string path = arguments->DirectoryPath();
  const dir::DirectoryBackend &backend = dir::BackendFor(path);
  switch (backend.Compact(path, dir::NodePath())) {
    case dir::AdminOutcome::kDone:
      return kExitSuccess;
    case dir::AdminOutcome::kUnsupported:
      (void)std::fprintf(stderr,
                         "tarne-admin: %s is not a directory on a cluster: nothing to compact\n",
                         path.c_str());
      return kExitFailure;
    case dir::AdminOutcome::kUsage:
    case dir::AdminOutcome::kFailed:
      break;
  }
  return kExitFailure;
}

}  // namespace olva::admin
