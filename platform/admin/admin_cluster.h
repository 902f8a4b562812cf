// What tarne-admin asks of a directory on an etcd cluster beyond the store every backend
// offers: creating the directory, and checking the rows' keys in every listing order.
#ifndef TARNE_ADMIN_ADMIN_CLUSTER_H
#define TARNE_ADMIN_ADMIN_CLUSTER_H

#include <functional>
#include <string>

#include "client/tarne_client.h"
#include "directory/directory_location.h"
#include "directory/directory_store.h"
#include "directory/node_file.h"

namespace olva::admin {

// Writes what the directory needs under the location's prefix. Already exists: it is there
// and force is false (force first deletes the directory's rows). Failure: *error. On
// success *createdRevision is the revision that recorded it.
PEK_ReturnStatus CreateClusterDirectory(const dir::ClusterLocation &location,
                                        const dir::TlsFiles &tls, bool force, std::string *error,
                                        int64_t *createdRevision);

// Removes the directory that CreateClusterDirectory recorded at createdRevision, as long as
// its marker is still that one. *markerKey: the marker's key, to name when it stays.
PEK_ReturnStatus RemoveCreatedClusterDirectory(const dir::ClusterLocation &location,
                                               const dir::TlsFiles &tls, int64_t createdRevision,
                                               std::string *markerKey, std::string *error);

// Hands each disagreement between the rows' keys of the listing orders to problem; false,
// and *error, when the keys could not be read.
bool CheckClusterOrders(dir::DirectoryStore &store, const std::function<void(std::string)> &problem,
                        std::string *error);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_ADMIN_CLUSTER_H
