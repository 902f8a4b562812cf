// tarne-admin members: writes a sub-cluster's membership entry (type 14, UUID = the cluster,
// owner = the node itself), as the next revision of that entry.
#include <cstdio>
#include <vector>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "client/tarne_status_codes.h"
#include "directory/membership.h"
#include "directory/uuid_util.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kMembersOptions[] = {
    {"cluster", true, false},
    {"generation", true, false},
};
constexpr uint8_t kHealthy = 0x02;

const Command &MembersCommand() {
  return CommandNamed("members");
}

// The generation of the membership entry stored now, if there is one to read.
std::optional<uint32_t> CurrentGeneration(dir::DirectoryStore &store,
                                          const dir::DirectoryInfo &info, const OlvaUUID &cluster) {
  dir::MatchCriteria criteria;
  criteria.uuid = cluster;
  criteria.owner = info.self;
  criteria.type = dir::kMembershipType;
  criteria.latest = true;
  criteria.cluster = cluster;
  std::optional<uint32_t> generation;
  store.Scan(criteria, std::nullopt, 1, [&](const dir::RowView &row) {
    if (const std::optional<dir::Membership> membership = dir::DecodeMembership(row.value)) {
      generation = membership->generation;
    }
    return false;
  });
  return generation;
}

}  // namespace

int RunMembers(std::span<char *const> words) {
  std::string error;
  const std::optional<Arguments> arguments = Arguments::Parse(words, kMembersOptions, &error);
  if (!arguments) return UsageError(MembersCommand(), error);
  const std::optional<std::string> clusterText = arguments->Value("cluster");
  if (!clusterText) return UsageError(MembersCommand(), "--cluster is required");
  const std::optional<OlvaUUID> cluster = dir::UuidFromText(*clusterText);
  if (!cluster) return UsageError(MembersCommand(), "bad cluster UUID " + *clusterText);
  std::optional<uint64_t> generation;
  if (const std::optional<std::string> text = arguments->Value("generation")) {
    generation = ParseNumber(*text, UINT32_MAX);
    if (!generation) return UsageError(MembersCommand(), "bad generation " + *text);
  }
  std::vector<OlvaUUID> members;
  for (const std::string &text : arguments->Positional()) {
    const std::optional<OlvaUUID> member = ParseUuidArgument(text);
    if (!member) return UsageError(MembersCommand(), "bad member UUID " + text);
    members.push_back(*member);
  }

  std::optional<OpenDirectory> directory = OpenExistingDirectory(arguments->DirectoryPath());
  if (!directory) return kExitFailure;
  if (!ServerCluster(directory->info, *cluster)) return kExitFailure;
  for (OlvaUUID &member : members) member = dir::ResolveOwner(member, directory->info.self);

  dir::Membership membership;
  membership.generation =
      generation ? static_cast<uint32_t>(*generation)
                 : CurrentGeneration(*directory->store, directory->info, *cluster).value_or(0) + 1;
  membership.quorum = static_cast<uint32_t>(members.size() / 2 + 1);
  membership.members = members;
  const std::optional<std::vector<uint8_t>> payload = dir::EncodeMembership(membership);
  if (!payload) {
    (void)std::fputs("tarne-admin: the membership does not fit an entry\n", stderr);
    return kExitFailure;
  }

  TarneEntry header{};
  header.uuid = *cluster;
  header.owner = directory->info.self;
  header.type = dir::kMembershipType;
  header.flag = kHealthy;
  header.valueLen = static_cast<uint32_t>(payload->size());
  const PEK_ReturnStatus status = WriteEntry(*directory, header, *payload, *cluster, true);
  return status == TARNE_STATUS_SUCCESS ? kExitSuccess : kExitFailure;
}

}  // namespace olva::admin
