// tarne-admin check: verifies a directory without trusting it, through its backend's check
// (directory_backend.h), and reports the first problems found and their count.
#include <cstdio>
#include <string>
#include <vector>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "directory/directory_location.h"

namespace olva::admin {
namespace {

// A damaged file can have a problem in every row: report the first ones and count the rest.
constexpr size_t kMostReported = 100;

class Report {
 public:
  void Add(std::string problem) {
    if (problems_.size() < kMostReported) problems_.push_back(std::move(problem));
    ++count_;
  }
  size_t Count() const { return count_; }
  void Print(const std::string &path) const {
    for (const std::string &problem : problems_) {
      (void)std::fprintf(stderr, "tarne-admin: %s: %s\n", path.c_str(), problem.c_str());
    }
    if (count_ > problems_.size()) {
      (void)std::fprintf(stderr, "tarne-admin: %s: %zu more problems not shown\n", path.c_str(),
                         count_ - problems_.size());
    }
    (void)std::fprintf(stderr, "tarne-admin: %s: %zu problem%s found\n", path.c_str(), count_,
                       count_ == 1 ? "" : "s");
  }

 private:
  std::vector<std::string> problems_;
  size_t count_ = 0;
};

}  // namespace

int RunCheck(std::span<char *const> words) {
  const Command &command = CommandNamed("check");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments = ParseOptionsOnly(command, words, {}, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string path = arguments->DirectoryPath();
  Report report;
  uint64_t rows = 0;
  const dir::DirectoryBackend &backend = dir::BackendFor(path);
  const auto problem = [&](std::string found) { report.Add(std::move(found)); };
  if (!backend.Check(path, dir::NodePath(), problem, &rows)) return kExitFailure;
  if (report.Count() != 0) {
    report.Print(path);
    return kExitFailure;
  }
  (void)std::printf("%s: ok, %llu entries\n", path.c_str(), static_cast<unsigned long long>(rows));
  return kExitSuccess;
}

}  // namespace olva::admin
