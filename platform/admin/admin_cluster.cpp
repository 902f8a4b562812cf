#include "admin_cluster.h"

#include <cstdio>

#include "client/tarne_status_codes.h"
#include "directory/etcd/etcd_store.h"

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

bool CheckClusterAlarms(dir::DirectoryStore &store, const dir::ClusterLocation &location,
                        const std::function<void(std::string)> &problem, std::string *error) {
  auto *etcd = dynamic_cast<dir::EtcdStore *>(&store);
  if (etcd == nullptr) {
    *error = "not a directory on a cluster";
    return false;
  }
  // The members' own statuses name the members the alarms are raised on.
  const std::vector<dir::etcd::MemberStatus> statuses =
      ReadMemberStatuses(etcd->ClusterClient(), dir::etcd::kCallDeadline);
  std::vector<ClusterAlarm> alarms;
  if (!ReadClusterAlarms(etcd->ClusterClient(), location, statuses, &alarms, error)) return false;
  for (const ClusterAlarm &alarm : alarms) {
    problem("alarm " + alarm.name + " raised on " + alarm.member + ": " + AlarmMeaning(alarm.name));
  }
  return true;
}

std::vector<dir::etcd::MemberStatus> ReadMemberStatuses(dir::etcd::Client &client,
                                                        std::chrono::milliseconds deadline) {
  std::vector<dir::etcd::MemberStatus> statuses;
  for (size_t member = 0; member < client.MemberCount(); ++member) {
    statuses.push_back(dir::etcd::ReadMemberStatus(client, member, deadline));
  }
  return statuses;
}

std::string MemberName(const dir::ClusterLocation &location,
                       const std::vector<dir::etcd::MemberStatus> &statuses, uint64_t id) {
  for (size_t member = 0; member < statuses.size(); ++member) {
    if (statuses[member].answered && statuses[member].id == id) return location.endpoints[member];
  }
  char text[32];
  std::snprintf(text, sizeof text, "member %llx", static_cast<unsigned long long>(id));
  return text;
}

bool ReadClusterAlarms(dir::etcd::Client &client, const dir::ClusterLocation &location,
                       const std::vector<dir::etcd::MemberStatus> &statuses,
                       std::vector<ClusterAlarm> *alarms, std::string *error) {
  std::vector<dir::etcd::pb::AlarmMember> raised;
  const grpc::Status status = dir::etcd::ReadAlarms(client, &raised);
  if (!status.ok()) {
    *error = "cannot read the alarms: " + status.error_message();
    return false;
  }
  for (const dir::etcd::pb::AlarmMember &alarm : raised) {
    alarms->push_back(
        {dir::etcd::AlarmName(alarm.alarm()), MemberName(location, statuses, alarm.memberid())});
  }
  return true;
}

std::string AlarmMeaning(const std::string &name) {
  if (name == "NOSPACE") {
    return "the member's database reached its space quota: the cluster refuses every write that "
           "adds a key (tarne-admin compact frees the space and clears the alarm)";
  }
  if (name == "CORRUPT") {
    return "the member found its data differs from the others': replace the member";
  }
  return "an alarm this program does not know";
}

}  // namespace olva::admin
