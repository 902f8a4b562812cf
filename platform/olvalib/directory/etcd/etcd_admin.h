// What tarne-admin reads of a cluster beyond its directory: the members' own statuses and the
// alarms raised on them, named as messages name them.
#ifndef OLVALIB_DIRECTORY_ETCD_ADMIN_H
#define OLVALIB_DIRECTORY_ETCD_ADMIN_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "directory/directory_location.h"
#include "etcd_client.h"
#include "etcd_maintenance.h"

namespace olva::dir::etcd {

// What each member of the location says of itself, in the location's order.
std::vector<MemberStatus> ReadMemberStatuses(Client &client, std::chrono::milliseconds deadline);

// A member as messages name it: its endpoint, or its ID in hex when no answering member has it.
std::string MemberName(const ClusterLocation &location, const std::vector<MemberStatus> &statuses,
                       uint64_t id);

// One alarm raised on the cluster, by its name (NOSPACE, CORRUPT) and its member's.
struct ClusterAlarm {
  std::string name;
  std::string member;
};
// False, and *error, when no member told the alarms.
bool ReadClusterAlarms(Client &client, const ClusterLocation &location,
                       const std::vector<MemberStatus> &statuses, std::vector<ClusterAlarm> *alarms,
                       std::string *error);
// What the alarm means to the directory and its way out, for messages.
std::string AlarmMeaning(const std::string &name);

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_ADMIN_H
