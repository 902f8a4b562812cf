// What tarne-admin status found about a directory, as a plain record: each backend fills its
// part (a file's sizes; a cluster's members, leader, alarms and history), and tarne-admin
// prints it for the operator or for monitoring.
#ifndef OLVALIB_DIRECTORY_STATUS_RECORD_H
#define OLVALIB_DIRECTORY_STATUS_RECORD_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace olva::dir {

// The exit status of status: the directory serves, it serves with a fault the operator must
// mend, or the library cannot open it at all.
enum class Health { kHealthy = 0, kDegraded = 1, kUnreachable = 2 };

struct MemberReport {
  std::string endpoint;
  bool answered = false;
  std::string error;  // not answered: why
  bool leads = false;
  uint64_t raftTerm = 0;
  int64_t revision = 0;
  int64_t dbSize = 0, dbSizeInUse = 0;
  std::optional<int64_t> quota;  // nothing: the member's metrics could not be read
  std::string version;
};

struct AlarmReport {
  std::string name;
  std::string member;
};

struct FileReport {
  int64_t bytes = 0;
  int64_t logBytes = 0;  // the write-ahead log beside it; 0 when there is none
  int64_t freePages = 0;
  int64_t pageSize = 0;
};

struct StatusReport {
  std::string version;
  std::string location, locationSource;
  std::string nodeFile, nodeSource;
  bool cluster = false;
  std::optional<FileReport> file;
  std::vector<MemberReport> members;
  std::string leader;                              // empty: none known
  std::optional<std::vector<AlarmReport>> alarms;  // nothing: they could not be read
  std::optional<int64_t> revision, compactedRevision;
  std::optional<uint64_t> entries;
  Health health = Health::kHealthy;
  std::vector<std::string> problems;  // what made it degraded or unreachable, and the fix

  void Unreachable(std::string problem) {
    health = Health::kUnreachable;
    problems.push_back(std::move(problem));
  }
  void Degraded(std::string problem) {
    if (health == Health::kHealthy) health = Health::kDegraded;
    problems.push_back(std::move(problem));
  }
};

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_STATUS_RECORD_H
