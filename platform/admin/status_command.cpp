// tarne-admin status: where the directory is and whether it serves, for the operator whose
// tarne-tool said "No connection", and for monitoring (-f json). The directory's backend
// fills in what it knows (directory_backend.h): on a cluster every member's own status, so
// that a member down, an alarm or a lost leader shows even while the directory still serves;
// when the library cannot open the directory, the cause.
#include <cstdlib>
#include <cstring>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "directory/directory_backend.h"
#include "directory/directory_location.h"
#include "directory/host_location.h"
#include "status_report.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kStatusOptions[] = {{"format", true, false}};

// Where a setting came from: its variable when set (an empty one counts as unset, as the
// library takes it), else the default.
std::string SourceOf(const char *variable) {
  const char *value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? variable : "default";
}

}  // namespace

int RunStatus(std::span<char *const> words) {
  const Command &command = CommandNamed("status");
  int usageStatus = kExitUsage;
  // -f is --format's short form, as tarne-tool's -f.
  std::vector<char *> spelled(words.begin(), words.end());
  static char formatOption[] = "--format";
  for (char *&word : spelled) {
    if (std::strcmp(word, "-f") == 0) word = formatOption;
  }
  const std::optional<Arguments> arguments =
      ParseOptionsOnly(command, spelled, kStatusOptions, &usageStatus);
  if (!arguments) return usageStatus;
  const std::string format = arguments->Value("format").value_or("text");
  if (format != "text" && format != "json") {
    return UsageError(command, "unknown format " + format + " (text or json)");
  }

  StatusReport report;
  report.version = kVersion;
  report.nodeFile = dir::NodePath();
  report.nodeSource = SourceOf(dir::kNodeVariable);
  if (const std::optional<std::string> given = arguments->Value("directory")) {
    report.location = *given;
    report.locationSource = "--directory";
  } else {
    std::string error;
    if (!dir::HostDirectoryLocation(&report.location, &error)) {
      // The node file that would say where the directory is cannot be trusted.
      report.locationSource = "node file";
      report.Unreachable("node file " + report.nodeFile + ": " + error);
      (format == "json" ? PrintStatusJson : PrintStatusText)(report, stdout);
      return static_cast<int>(report.health);
    }
    const std::string variable = SourceOf(dir::kDirectoryVariable);
    report.locationSource = variable != "default"                           ? variable
                            : report.location == dir::kDefaultDirectoryPath ? "default"
                                                                            : "node file";
  }
  dir::BackendFor(report.location).Status(report.location, &report);
  (format == "json" ? PrintStatusJson : PrintStatusText)(report, stdout);
  return static_cast<int>(report.health);
}

}  // namespace olva::admin
