#include "store_opener.h"

#include "directory/etcd/etcd_store.h"
#include "directory/sqlite/sqlite_store.h"
#include "directory_location.h"
#include "node_file.h"

namespace olva::dir {

std::unique_ptr<DirectoryStore> OpenDirectoryStore(const std::string &location,
                                                   const std::string &nodePath, DirectoryInfo *info,
                                                   std::string *error) {
  // A cluster location is never taken for a file name.
  if (!IsClusterLocation(location)) return SqliteStore::Open(location, info, error);
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

}  // namespace olva::dir
