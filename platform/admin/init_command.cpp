// tarne-admin init: creates a directory with the node's identity: a SQLite file that holds
// both, or, on a cluster, this host's node file and the shared directory when it is new.
#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "directory/directory_location.h"
#include "directory/uuid_util.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kInitOptions[] = {
    {"self", true, false}, {"cluster", true, true}, {"force", false, false},
    {"ca", true, false},   {"cert", true, false},   {"key", true, false},
};

const Command &InitCommand() {
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
      ParseOptionsOnly(InitCommand(), words, kInitOptions, &usageStatus);
  if (!arguments) return usageStatus;
  std::string error;
  dir::DirectoryInfo info;
  const std::optional<OlvaUUID> self = GivenOrRandom(arguments->Value("self"), "self", &error);
  if (!self) return UsageError(InitCommand(), error);
  info.self = *self;
  std::vector<std::string> clusters = arguments->Values("cluster");
  if (clusters.empty()) {
    const std::optional<OlvaUUID> cluster = GivenOrRandom(std::nullopt, "cluster", &error);
    if (!cluster) return UsageError(InitCommand(), error);
    info.clusters.push_back(*cluster);
  }
  for (const std::string &text : clusters) {
    const std::optional<OlvaUUID> cluster = GivenOrRandom(text, "cluster", &error);
    if (!cluster) return UsageError(InitCommand(), error);
    info.clusters.push_back(*cluster);
  }

  dir::InitRequest request;
  request.location = arguments->DirectoryPath();
  request.nodePath = dir::NodePath();
  request.identity = std::move(info);
  request.force = arguments->Has("force");
  request.ca = arguments->Value("ca");
  request.cert = arguments->Value("cert");
  request.key = arguments->Value("key");
  const dir::DirectoryBackend &backend = dir::BackendFor(request.location);
  switch (backend.Init(request, &error)) {
    case dir::AdminOutcome::kDone:
      break;
    case dir::AdminOutcome::kUsage:
      return UsageError(InitCommand(), error);
    case dir::AdminOutcome::kFailed:
    case dir::AdminOutcome::kUnsupported:
      return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace olva::admin
