#include "etcd_admin.h"

#include <cstdio>

namespace olva::dir::etcd {

std::vector<MemberStatus> ReadMemberStatuses(Client &client, std::chrono::milliseconds deadline) {
  std::vector<MemberStatus> statuses;
  for (size_t member = 0; member < client.MemberCount(); ++member) {
    statuses.push_back(ReadMemberStatus(client, member, deadline));
  }
  return statuses;
}

std::string MemberName(const ClusterLocation &location, const std::vector<MemberStatus> &statuses,
                       uint64_t id) {
  for (size_t member = 0; member < statuses.size(); ++member) {
    if (statuses[member].answered && statuses[member].id == id) return location.endpoints[member];
  }
  char text[32];
  (void)std::snprintf(text, sizeof text, "member %llx", static_cast<unsigned long long>(id));
  return text;
}

bool ReadClusterAlarms(Client &client, const ClusterLocation &location,
                       const std::vector<MemberStatus> &statuses, std::vector<ClusterAlarm> *alarms,
                       std::string *error) {
  std::vector<pb::AlarmMember> raised;
  const grpc::Status status = ReadAlarms(client, &raised);
  if (!status.ok()) {
    *error = "cannot read the alarms: " + status.error_message();
    return false;
  }
  for (const pb::AlarmMember &alarm : raised) {
    alarms->push_back({AlarmName(alarm.alarm()), MemberName(location, statuses, alarm.memberid())});
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

}  // namespace olva::dir::etcd
