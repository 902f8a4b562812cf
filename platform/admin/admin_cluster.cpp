#include "admin_cluster.h"

#include "client/tarne_status_codes.h"

#if __has_include("directory/etcd_store.h")
#include "directory/etcd_store.h"
#define TARNE_ADMIN_HAS_ETCD 1
#endif

namespace olva::admin {

#ifdef TARNE_ADMIN_HAS_ETCD

PEK_ReturnStatus CreateClusterDirectory(const dir::ClusterLocation &location,
                                        const dir::TlsFiles &tls, bool force, std::string *error) {
  return dir::EtcdStore::CreateDirectory(location, tls, force, error);
}

bool CheckClusterOrders(dir::DirectoryStore &store,
                        const std::function<void(std::string)> &problem, std::string *error) {
  auto *etcd = dynamic_cast<dir::EtcdStore *>(&store);
  if (etcd == nullptr) {
    *error = "not a directory on a cluster";
    return false;
  }
  const PEK_ReturnStatus status =
      etcd->CheckOrders([&](const std::string &found) { problem(found); });
  if (status != TARNE_STATUS_SUCCESS) *error = "cannot read the keys of the listing orders";
  return status == TARNE_STATUS_SUCCESS;
}

#else  // a library without the etcd store: no cluster can be reached

PEK_ReturnStatus CreateClusterDirectory(const dir::ClusterLocation &, const dir::TlsFiles &, bool,
                                        std::string *error) {
  *error = "this build cannot create a directory on a cluster";
  return TARNE_STATUS_FAILURE;
}

bool CheckClusterOrders(dir::DirectoryStore &, const std::function<void(std::string)> &,
                        std::string *error) {
  *error = "this build cannot read a directory on a cluster";
  return false;
}

#endif

}  // namespace olva::admin
