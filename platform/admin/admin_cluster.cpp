#include "admin_cluster.h"

#include "client/tarne_status_codes.h"
#include "directory/etcd_store.h"

namespace olva::admin {

PEK_ReturnStatus CreateClusterDirectory(const dir::ClusterLocation &location,
                                        const dir::TlsFiles &tls, bool force, std::string *error,
                                        int64_t *createdRevision) {
  return dir::EtcdStore::CreateDirectory(location, tls, force, error, createdRevision);
}

PEK_ReturnStatus RemoveCreatedClusterDirectory(const dir::ClusterLocation &location,
                                               const dir::TlsFiles &tls, int64_t createdRevision,
                                               std::string *markerKey, std::string *error) {
  return dir::EtcdStore::RemoveCreatedDirectory(location, tls, createdRevision, markerKey, error);
}

bool CheckClusterOrders(dir::DirectoryStore &store, const std::function<void(std::string)> &problem,
                        std::string *error) {
  auto *etcd = dynamic_cast<dir::EtcdStore *>(&store);
  if (etcd == nullptr) {
    *error = "not a directory on a cluster";
    return false;
  }
  if (etcd->CheckOrders([&](const std::string &found) { problem(found); }) ==
      TARNE_STATUS_SUCCESS) {
    return true;
  }
  *error = "cannot read the keys of the listing orders";
  return false;
}

}  // namespace olva::admin
