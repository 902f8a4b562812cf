#include "status_report.h"

#include <string_view>

namespace olva::admin {
namespace {

const char *HealthName(Health health) {
  switch (health) {
    case Health::kHealthy:
      return "healthy";
    case Health::kDegraded:
      return "degraded";
    case Health::kUnreachable:
      return "unreachable";
  }
  return "unreachable";
}

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted.append(1, '\\').append(1, c);
    } else if (byte < 0x20) {
      char escape[8];
      (void)std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

template <typename Number>
std::string Optional(const std::optional<Number> &value) {
  return value ? std::to_string(*value) : "null";
}

std::string Percent(int64_t part, int64_t whole) {
  return std::to_string(whole > 0 ? part * 100 / whole : 0) + "%";
}

}  // namespace

void PrintStatusText(const StatusReport &report, std::FILE *stream) {
  std::string text = "version: " + report.version + "\n";
  text += "directory: " + report.location + " (" + report.locationSource + ")\n";
  text += "node file: " + report.nodeFile + " (" + report.nodeSource + ")\n";
  if (report.file) {
    const FileReport &file = *report.file;
    text += "file: " + std::to_string(file.bytes) + " bytes, log " + std::to_string(file.logBytes) +
            " bytes, " + std::to_string(file.freePages) + " free pages of " +
            std::to_string(file.pageSize) + " bytes\n";
  }
  for (const MemberReport &member : report.members) {
    text += "member " + member.endpoint + ": ";
    if (!member.answered) {
      text += "down: " + member.error + "\n";
      continue;
    }
    text += std::string(member.leads ? "up, leader" : "up") + ", raft term " +
            std::to_string(member.raftTerm) + ", revision " + std::to_string(member.revision) +
            ", database " + std::to_string(member.dbSize) + " bytes";
    text += member.quota ? " of " + std::to_string(*member.quota) + " (" +
                               Percent(member.dbSize, *member.quota) + ")"
                         : " of an unknown quota";
    text += ", " + std::to_string(member.dbSizeInUse) + " in use\n";
  }
  if (report.cluster) {
    text += "leader: " + (report.leader.empty() ? std::string("none") : report.leader) + "\n";
    if (!report.alarms) {
      text += "alarms: unknown\n";
    } else if (report.alarms->empty()) {
      text += "alarms: none\n";
    } else {
      for (const AlarmReport &alarm : *report.alarms) {
        text += "alarm: " + alarm.name + " on " + alarm.member + "\n";
      }
    }
    if (report.revision) {
      text += "revision: " + std::to_string(*report.revision);
      if (report.compactedRevision) {
        text += ", history from " + std::to_string(*report.compactedRevision);
      }
      text += "\n";
    }
  }
  if (report.entries) text += "entries: " + std::to_string(*report.entries) + "\n";
  text += std::string("status: ") + HealthName(report.health) + "\n";
  for (const std::string &problem : report.problems) text += "problem: " + problem + "\n";
  static_cast<void>(std::fputs(text.c_str(), stream));
}

void PrintStatusJson(const StatusReport &report, std::FILE *stream) {
  std::string json = "{\"version\":" + Quoted(report.version);
  json += ",\"directory\":{\"location\":" + Quoted(report.location) +
          ",\"source\":" + Quoted(report.locationSource) +
          ",\"kind\":" + Quoted(report.cluster ? "cluster" : "file") + "}";
  json += ",\"node_file\":{\"path\":" + Quoted(report.nodeFile) +
          ",\"source\":" + Quoted(report.nodeSource) + "}";
  if (report.file) {
    const FileReport &file = *report.file;
    json += ",\"file\":{\"bytes\":" + std::to_string(file.bytes) +
            ",\"log_bytes\":" + std::to_string(file.logBytes) +
            ",\"free_pages\":" + std::to_string(file.freePages) +
            ",\"page_size\":" + std::to_string(file.pageSize) + "}";
  }
  if (report.cluster) {
    json += ",\"members\":[";
    for (size_t i = 0; i < report.members.size(); ++i) {
      const MemberReport &member = report.members[i];
      json += std::string(i == 0 ? "" : ",") + "{\"endpoint\":" + Quoted(member.endpoint) +
              ",\"reachable\":" + (member.answered ? "true" : "false");
      if (member.answered) {
        json += std::string(",\"leader\":") + (member.leads ? "true" : "false") +
                ",\"raft_term\":" + std::to_string(member.raftTerm) +
                ",\"revision\":" + std::to_string(member.revision) +
                ",\"db_size\":" + std::to_string(member.dbSize) +
                ",\"db_size_in_use\":" + std::to_string(member.dbSizeInUse) +
                ",\"quota\":" + Optional(member.quota) + ",\"version\":" + Quoted(member.version);
      } else {
        json += ",\"error\":" + Quoted(member.error);
      }
      json += "}";
    }
    json += "],\"leader\":" + (report.leader.empty() ? std::string("null") : Quoted(report.leader));
    if (report.alarms) {
      json += ",\"alarms\":[";
      for (size_t i = 0; i < report.alarms->size(); ++i) {
        const AlarmReport &alarm = (*report.alarms)[i];
        json += std::string(i == 0 ? "" : ",") + "{\"alarm\":" + Quoted(alarm.name) +
                ",\"member\":" + Quoted(alarm.member) + "}";
      }
      json += "]";
    } else {
      json += ",\"alarms\":null";
    }
    json += ",\"revision\":" + Optional(report.revision) +
            ",\"compacted_revision\":" + Optional(report.compactedRevision);
  }
  json += ",\"entries\":" + Optional(report.entries);
  json += std::string(",\"status\":") + Quoted(HealthName(report.health)) + ",\"problems\":[";
  for (size_t i = 0; i < report.problems.size(); ++i) {
    if (i != 0) json += ',';
    json += Quoted(report.problems[i]);
  }
  json += "]}\n";
  static_cast<void>(std::fputs(json.c_str(), stream));
}

}  // namespace olva::admin
