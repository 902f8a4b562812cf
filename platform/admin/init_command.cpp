// tarne-admin init: creates a directory with the node's identity.
#include <cstdio>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "client/tarne_status_codes.h"
#include "directory/directory_schema.h"
#include "directory/uuid_util.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kOptions[] = {
    {"self", true, false},
    {"cluster", true, true},
    {"force", false, false},
};

const Command &ThisCommand() {
  return CommandNamed("init");
}

std::optional<OlvaUUID> GivenOrRandom(const std::optional<std::string> &text, const char *what,
                                      std::string *error) {
  if (!text) {
    std::optional<OlvaUUID> uuid = dir::RandomUuid();
    if (!uuid) *error = "cannot read the system's random source";
    return uuid;
  }
  std::optional<OlvaUUID> uuid = dir::UuidFromText(*text);
  if (!uuid) *error = std::string("bad ") + what + " UUID " + *text;
  return uuid;
}

}  // namespace

int RunInit(std::span<char *const> words) {
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments =
      ParseOptionsOnly(ThisCommand(), words, kOptions, &usageStatus);
  if (!arguments) return usageStatus;
  std::string error;
  dir::DirectoryInfo info;
  const std::optional<OlvaUUID> self = GivenOrRandom(arguments->Value("self"), "self", &error);
  if (!self) return UsageError(ThisCommand(), error);
  info.self = *self;
  std::vector<std::string> clusters = arguments->Values("cluster");
  if (clusters.empty()) {
    const std::optional<OlvaUUID> cluster = GivenOrRandom(std::nullopt, "cluster", &error);
    if (!cluster) return UsageError(ThisCommand(), error);
    info.clusters.push_back(*cluster);
  }
  for (const std::string &text : clusters) {
    const std::optional<OlvaUUID> cluster = GivenOrRandom(text, "cluster", &error);
    if (!cluster) return UsageError(ThisCommand(), error);
    info.clusters.push_back(*cluster);
  }

  const std::string path = arguments->DirectoryPath();
  const PEK_ReturnStatus status = dir::CreateDirectory(path, info, arguments->Has("force"), &error);
  if (status == TARNE_STATUS_ALREADY_EXISTS) {
    std::fprintf(stderr, "tarne-admin: %s already exists (--force replaces it)\n", path.c_str());
    return kExitFailure;
  }
  if (status == TARNE_STATUS_BAD_PARAMETER) return UsageError(ThisCommand(), error);
  if (status != TARNE_STATUS_SUCCESS) {
    std::fprintf(stderr, "tarne-admin: cannot create %s: %s\n", path.c_str(), error.c_str());
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace olva::admin
