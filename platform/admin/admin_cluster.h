// What tarne-admin asks of a directory on an etcd cluster beyond the store every backend
// offers: creating the directory, and checking the rows' keys in every listing order.
#ifndef TARNE_ADMIN_ADMIN_CLUSTER_H
#define TARNE_ADMIN_ADMIN_CLUSTER_H

#include <functional>
#include <string>
#include <vector>

#include "client/tarne_client.h"
#include "directory/directory_location.h"
#include "directory/directory_store.h"
#include "directory/etcd/etcd_client.h"
#include "directory/etcd/etcd_maintenance.h"
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

// Hands each alarm raised on the cluster to problem, with its meaning; false, and *error,
// when the alarms could not be read.
bool CheckClusterAlarms(dir::DirectoryStore &store, const dir::ClusterLocation &location,
                        const std::function<void(std::string)> &problem, std::string *error);

// What each member of the location says of itself, in the location's order.
std::vector<dir::etcd::MemberStatus> ReadMemberStatuses(dir::etcd::Client &client,
                                                        std::chrono::milliseconds deadline);

// A member as messages name it: its endpoint, or its ID in hex when no answering member has it.
std::string MemberName(const dir::ClusterLocation &location,
                       const std::vector<dir::etcd::MemberStatus> &statuses, uint64_t id);

// One alarm raised on the cluster, by its name (NOSPACE, CORRUPT) and its member's.
struct ClusterAlarm {
  std::string name;
  std::string member;
};
// False, and *error, when no member told the alarms.
bool ReadClusterAlarms(dir::etcd::Client &client, const dir::ClusterLocation &location,
                       const std::vector<dir::etcd::MemberStatus> &statuses,
                       std::vector<ClusterAlarm> *alarms, std::string *error);
// What the alarm means to the directory and its way out, for messages.
std::string AlarmMeaning(const std::string &name);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_ADMIN_CLUSTER_H
