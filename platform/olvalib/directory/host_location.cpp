#include "host_location.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "directory_location.h"
#include "node_file.h"

namespace olva::dir {

bool HostDirectoryLocation(std::string *location, std::string *error) {
  const char *given = std::getenv(kDirectoryVariable);
  if (given != nullptr && given[0] != '\0') {
    *location = given;
    return true;
  }
  const std::string nodePath = NodePath();
  struct stat status {};
  if (lstat(nodePath.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    *location = kDefaultDirectoryPath;
    return true;
  }
  std::string recorded;
  if (!ReadNodeFileLocation(nodePath, &recorded, error)) return false;
  *location = recorded.empty() ? kDefaultDirectoryPath : recorded;
  return true;
}

}  // namespace olva::dir
