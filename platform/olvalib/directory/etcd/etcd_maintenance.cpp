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

}  // namespace

bool HistoryCompacted(const grpc::Status &status) {
  return status.error_code() ==
         grpc::StatusCode::OUT_OF_RANGE;  // "required revision has been compacted"
}

bool SpaceExhausted(const grpc::Status &status) {
  // gRPC also says "resource exhausted" of a message too large; the members' words tell.
  return status.error_code() == grpc::StatusCode::RESOURCE_EXHAUSTED &&
         status.error_message().find("database space exceeded") != std::string::npos;
}

MemberStatus ReadMemberStatus(Client &client, size_t member, std::chrono::milliseconds deadline) {
  grpc::ClientContext context;
  context.set_deadline(std::chrono::system_clock::now() + deadline);
  pb::StatusResponse answer;
  const grpc::Status status = pb::Maintenance::NewStub(client.MemberChannel(member))
                                  ->Status(&context, pb::StatusRequest(), &answer);
  MemberStatus said;
  if (!status.ok()) {
    said.error = status.error_message();
    return said;
  }
  said.answered = true;
  said.id = answer.header().member_id();
  said.leader = answer.leader();
  said.raftTerm = answer.raftterm();
  said.revision = answer.header().revision();
  said.dbSize = answer.dbsize();
  said.dbSizeInUse = answer.dbsizeinuse();
  said.version = answer.version();
  return said;
}

grpc::Status ReadAlarms(Client &client, std::vector<pb::AlarmMember> *alarms) {
  pb::AlarmRequest list;
  list.set_action(pb::AlarmRequest::GET);
  list.set_alarm(pb::NONE);
  pb::AlarmResponse answer;
  grpc::Status status;
  for (size_t attempt = 0; attempt < client.MemberCount(); ++attempt) {
    const size_t member = client.CurrentMember();
    grpc::ClientContext context;
    Within(context, kCallDeadline);
    status = pb::Maintenance::NewStub(client.MemberChannel(member))->Alarm(&context, list, &answer);
    if (status.ok() || !Client::MemberAtFault(status)) break;
    client.MemberFailed(member);
  }
  alarms->assign(answer.alarms().begin(), answer.alarms().end());
  return status;
}

std::string AlarmName(pb::AlarmType alarm) {
  switch (alarm) {
    case pb::NOSPACE:
      return "NOSPACE";
    case pb::CORRUPT:
      return "CORRUPT";
    default:
      return "alarm " + std::to_string(static_cast<int>(alarm));
  }
}

std::optional<int64_t> CompactedRevision(Client &client, int64_t current, std::string *error) {
  // etcd tells no client where its history starts, but refuses a read at a revision before
  // it: the first revision a read passes at is found by bisection, a few dozen small reads.
  int64_t refused = 0, passed = current;
  while (passed - refused > 1) {
    const int64_t middle = refused + (passed - refused) / 2;
    pb::RangeRequest probe;
    probe.set_key(std::string(1, '\0'));
    probe.set_count_only(true);
    probe.set_revision(middle);
    pb::RangeResponse answer;
    const grpc::Status status = client.Range(probe, &answer);
    if (status.ok()) {
      passed = middle;
    } else if (HistoryCompacted(status)) {
      refused = middle;
    } else {
      *error = status.error_message();
      return std::nullopt;
    }
  }
  return passed;
}

bool ReclaimSpace(Client &client, const std::function<void(const SpaceStep &)> &report) {
  bool whole = true;
  const auto failed = [&](int member, const std::string &what, const std::string &why) {
    SpaceStep step(SpaceStep::Kind::kFailed, member);
    step.error = what + ": " + why;
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
    failed(-1, "cannot read the cluster's revision", status.error_message());
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
      if (status.ok() || HistoryCompacted(status)) break;
      if (!Client::MemberAtFault(status)) break;
      client.MemberFailed(member);
    }
    if (status.ok() || HistoryCompacted(status)) {
      SpaceStep step(SpaceStep::Kind::kCompacted, -1);
      step.revision = compaction.revision();
      report(step);
    } else {
      failed(-1, "cannot compact", status.error_message());
    }
  }

  // One member at a time, so that the others serve while it rewrites its database.
  std::map<uint64_t, int> memberOfId;
  for (int member = 0; member < members; ++member) {
    const std::unique_ptr<pb::Maintenance::Stub> maintenance =
        pb::Maintenance::NewStub(client.MemberChannel(static_cast<size_t>(member)));
    const MemberStatus before = ReadMemberStatus(client, static_cast<size_t>(member));
    if (!before.answered) {
      failed(member, "cannot read the member's status", before.error);
      continue;
    }
    memberOfId[before.id] = member;
    grpc::ClientContext defragmenting;
    Within(defragmenting, kRewriteDeadline);
    pb::DefragmentResponse defragmented;
    status = maintenance->Defragment(&defragmenting, pb::DefragmentRequest(), &defragmented);
    if (!status.ok()) {
      failed(member, "cannot defragment", status.error_message());
      continue;
    }
    const MemberStatus after = ReadMemberStatus(client, static_cast<size_t>(member));
    if (!after.answered) {
      failed(member, "cannot read the member's status", after.error);
      continue;
    }
    SpaceStep step(SpaceStep::Kind::kDefragmented, member);
    step.bytesBefore = before.dbSize;
    step.bytesAfter = after.dbSize;
    report(step);
  }

  // The alarm stays until cleared, whatever space was freed; a member still over its quota
  // raises it again at the next write.
  std::vector<pb::AlarmMember> alarms;
  status = ReadAlarms(client, &alarms);
  if (!status.ok()) {
    failed(-1, "cannot read the alarms", status.error_message());
    return false;
  }
  for (const pb::AlarmMember &alarm : alarms) {
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
      failed(index, "cannot clear the space alarm", status.error_message());
      continue;
    }
    report(SpaceStep(SpaceStep::Kind::kAlarmCleared, index));
  }
  return whole;
}

}  // namespace olva::dir::etcd
