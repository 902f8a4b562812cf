// Keeping a cluster's history bounded: etcd keeps every revision until it is compacted, and a
// compacted member's database keeps its size until it is defragmented. When the database
// reaches the members' quota, the cluster raises a space alarm and refuses every write that
// puts a key until the alarm is cleared.
#ifndef OLVALIB_DIRECTORY_ETCD_MAINTENANCE_H
#define OLVALIB_DIRECTORY_ETCD_MAINTENANCE_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "etcd_client.h"

namespace olva::dir::etcd {

// Whether a read or compaction was refused because the revision it names was compacted away.
bool HistoryCompacted(const grpc::Status &status);

// Whether a write's status is the cluster refusing it for want of space.
bool SpaceExhausted(const grpc::Status &status);

// One step of ReclaimSpace, as it happens. member: the index of the member, or -1 for the
// cluster as a whole; bytes: a member's database size after the step (0 if not a member's).
struct SpaceStep {
  enum class Kind { kCompacted, kDefragmented, kAlarmCleared, kFailed };
  SpaceStep(Kind kind, int member) : kind(kind), member(member) {}
  Kind kind;
  int member;
  int64_t revision = 0;                     // kCompacted: the revision the history now starts at
  int64_t bytesBefore = 0, bytesAfter = 0;  // kDefragmented
  std::string error;                        // kFailed
};

// What one member says of itself, or why it did not answer within the deadline.
struct MemberStatus {
  bool answered = false;
  std::string error;    // not answered: the call's failure
  uint64_t id = 0;      // the member's ID, as alarms and leaders name it
  uint64_t leader = 0;  // the ID of the leader it follows; 0: it knows none
  uint64_t raftTerm = 0;
  int64_t revision = 0;     // the store's current revision
  int64_t dbSize = 0;       // the database file's size, in bytes
  int64_t dbSizeInUse = 0;  // the part of it that holds data; the rest a defragmentation frees
  std::string version;      // the member's protocol version
};
MemberStatus ReadMemberStatus(Client &client, size_t member,
                              std::chrono::milliseconds deadline = kCallDeadline);

// The alarms raised on the cluster's members, asked of the members in turn until one
// answers.
grpc::Status ReadAlarms(Client &client, std::vector<pb::AlarmMember> *alarms);
// "NOSPACE" (the space quota is exhausted), "CORRUPT" (a member found its data differs).
std::string AlarmName(pb::AlarmType alarm);

// The oldest revision still readable: history before it was compacted away (1 when none was).
// current is the cluster's current revision. Nothing, and *error, when the cluster could not
// be read.
std::optional<int64_t> CompactedRevision(Client &client, int64_t current, std::string *error);

// Compacts the cluster's history to its current revision, then defragments the members one
// at a time (a member blocks its clients while it defragments, so the others serve them),
// then clears the space alarms. Every step is tried even when one failed; false when any did.
bool ReclaimSpace(Client &client, const std::function<void(const SpaceStep &)> &report);

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_MAINTENANCE_H
