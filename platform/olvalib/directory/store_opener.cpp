#include "store_opener.h"

#include "directory_location.h"
#include "sqlite_store.h"

namespace olva::dir {

std::unique_ptr<DirectoryStore> OpenDirectoryStore(const std::string &location,
                                                   const std::string &nodePath,
                                                   DirectoryInfo *info, std::string *error) {
  (void)nodePath;
  // A cluster location is never taken for a file name.
  if (IsClusterLocation(location)) {
    *error = "this build cannot open a directory on a cluster";
    return nullptr;
  }
  return SqliteStore::Open(location, info, error);
}

}  // namespace olva::dir
