#include "store_opener.h"

#include "directory_backend.h"

namespace olva::dir {

std::unique_ptr<DirectoryStore> OpenDirectoryStore(const std::string &location,
                                                   const std::string &nodePath, DirectoryInfo *info,
                                                   std::string *error) {
  return BackendFor(location).Open(location, nodePath, info, error);
}

}  // namespace olva::dir
