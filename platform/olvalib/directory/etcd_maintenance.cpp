#include "etcd_maintenance.h"

#include <map>

namespace olva::dir::etcd {
namespace {

// A physical compaction and a defragmentation rewrite a member's whole database: seconds for a
// database of a few hundred megabytes on a busy disk.
constexpr std::chrono::seconds kRewriteDeadline{120};

void Within(grpc::ClientContext &context, std::chrono::seconds deadline) {
  context.set_deadline(std::chrono::system_clock::now() + deadline);
}

bool AlreadyCompacted(const grpc::Status &status) {
  return status.error_code() ==
         grpc::StatusCode::OUT_OF_RANGE;  // "required revision has been compacted"
}

}  // namespace

bool SpaceExhausted(const grpc::Status &status) {
  // gRPC also says "resource exhausted" of a message too large; the members' words tell.
  return status.error_code() == grpc::StatusCode::RESOURCE_EXHAUSTED &&
         status.error_message().find("database space exceeded") != std::string::npos;
}

bool ReclaimSpace(Client &client, const std::function<void(const SpaceStep &)> &report) {
  bool whole = true;
  const auto failed = [&](int member, const std::string &what, const grpc::Status &status) {
    SpaceStep step(SpaceStep::Kind::kFailed, member);
    step.error = what + ": " + status.error_message();
    report(step);
    whole = false;
  };
  const auto members = static_cast<int>(client.MemberCount());

  // The current revision: any read's header tells it.
  pb::RangeRequest probe;
  probe.set_key(std::string(1, '\0'));
  probe.set_count_only(true);
  pb::RangeResponse now;
  grpc::Status status = client.Range(probe, &now);
  if (!status.ok()) {
    failed(-1, "cannot read the cluster's revision", status);
  } else {
    // Physical: the call returns once the members dropped the old revisions, so that the
    // defragmentation below gives their space back.
    pb::CompactionRequest compaction;
    compaction.set_revision(now.header().revision());
    compaction.set_physical(true);
    for (int attempt = 0; attempt < members; ++attempt) {
      const size_t member = client.CurrentMember();
      grpc::ClientContext context;
      Within(context, kRewriteDeadline);
      pb::CompactionResponse compacted;
      status =
          pb::KV::NewStub(client.MemberChannel(member))->Compact(&context, compaction, &compacted);
      if (status.ok() || AlreadyCompacted(status)) break;
      if (!Client::MemberAtFault(status)) break;
      client.MemberFailed(member);
    }
    if (status.ok() || AlreadyCompacted(status)) {
      SpaceStep step(SpaceStep::Kind::kCompacted, -1);
      step.revision = compaction.revision();
      report(step);
    } else {
      failed(-1, "cannot compact", status);
    }
  }

  // One member at a time, so that the others serve while it rewrites its database.
  std::map<uint64_t, int> memberOfId;
  for (int member = 0; member < members; ++member) {
    const std::unique_ptr<pb::Maintenance::Stub> maintenance =
        pb::Maintenance::NewStub(client.MemberChannel(static_cast<size_t>(member)));
    const auto readStatus = [&](pb::StatusResponse *answer) {
      grpc::ClientContext asked;
      Within(asked, kCallDeadline);
      return maintenance->Status(&asked, pb::StatusRequest(), answer);
    };
    pb::StatusResponse before;
    status = readStatus(&before);
    if (!status.ok()) {
      failed(member, "cannot read the member's status", status);
      continue;
    }
    memberOfId[before.header().member_id()] = member;
    grpc::ClientContext defragmenting;
    Within(defragmenting, kRewriteDeadline);
    pb::DefragmentResponse defragmented;
    status = maintenance->Defragment(&defragmenting, pb::DefragmentRequest(), &defragmented);
    if (!status.ok()) {
      failed(member, "cannot defragment", status);
      continue;
    }
    pb::StatusResponse after;
    status = readStatus(&after);
    if (!status.ok()) {
      failed(member, "cannot read the member's status", status);
      continue;
    }
    SpaceStep step(SpaceStep::Kind::kDefragmented, member);
    step.bytesBefore = before.dbsize();
    step.bytesAfter = after.dbsize();
    report(step);
  }

  // The alarm stays until cleared, whatever space was freed; a member still over its quota
  // raises it again at the next write.
  pb::AlarmRequest list;
  list.set_action(pb::AlarmRequest::GET);
  list.set_alarm(pb::NONE);
  pb::AlarmResponse alarms;
  for (int attempt = 0; attempt < members; ++attempt) {
    const size_t member = client.CurrentMember();
    grpc::ClientContext context;
    Within(context, kCallDeadline);
    status = pb::Maintenance::NewStub(client.MemberChannel(member))->Alarm(&context, list, &alarms);
    if (status.ok() || !Client::MemberAtFault(status)) break;
    client.MemberFailed(member);
  }
  if (!status.ok()) {
    failed(-1, "cannot read the alarms", status);
    return false;
  }
  for (const pb::AlarmMember &alarm : alarms.alarms()) {
    if (alarm.alarm() != pb::NOSPACE) continue;
    pb::AlarmRequest clear;
    clear.set_action(pb::AlarmRequest::DEACTIVATE);
    clear.set_memberid(alarm.memberid());
    clear.set_alarm(pb::NOSPACE);
    pb::AlarmResponse cleared;
    grpc::ClientContext context;
    Within(context, kCallDeadline);
    const size_t member = client.CurrentMember();
    status =
        pb::Maintenance::NewStub(client.MemberChannel(member))->Alarm(&context, clear, &cleared);
    const auto known = memberOfId.find(alarm.memberid());
    const int index = known == memberOfId.end() ? -1 : known->second;
    if (!status.ok()) {
      failed(index, "cannot clear the space alarm", status);
      continue;
    }
    report(SpaceStep(SpaceStep::Kind::kAlarmCleared, index));
  }
  return whole;
}

}  // namespace olva::dir::etcd
