// Keeping a cluster's history bounded: etcd keeps every revision until it is compacted, and a
// compacted member's database keeps its size until it is defragmented. When the database
// reaches the members' quota, the cluster raises a space alarm and refuses every write that
// puts a key until the alarm is cleared.
#ifndef OLVALIB_DIRECTORY_ETCD_MAINTENANCE_H
#define OLVALIB_DIRECTORY_ETCD_MAINTENANCE_H

#include <functional>
#include <string>

#include "etcd_client.h"

namespace olva::dir::etcd {

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

// Compacts the cluster's history to its current revision, then defragments the members one
// at a time (a member blocks its clients while it defragments, so the others serve them),
// then clears the space alarms. Every step is tried even when one failed; false when any did.
bool ReclaimSpace(Client &client, const std::function<void(const SpaceStep &)> &report);

}  // namespace olva::dir::etcd

#endif  // OLVALIB_DIRECTORY_ETCD_MAINTENANCE_H
