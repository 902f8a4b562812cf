// tarne-admin restore: loads a dump taken by `tarne-admin dump` into an empty directory, so
// that a dump found damaged anywhere leaves the directory as empty as it was: a
// half-restored directory would look whole to every reader. How the entries are written and
// taken back is the backend's bulk load (directory/bulk_load.h).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "client/tarne_status_codes.h"
#include "directory/uuid_util.h"
#include "dump/dump_entry_reader.h"
#include "dump/dump_stream.h"
#include "progress.h"
#include "tables/dump_header.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kRestoreOptions[] = {
    {"input", true, false},
    {"header", true, false},
};

bool ReadHeader(const std::string &path, DumpHeader *header, std::string *error) {
  DumpStream file;
  if (!file.Open(path.c_str(), false)) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  // One read stores the whole record unless the file ends first.
  if (file.Read(header, sizeof *header) != sizeof *header) {
    *error = path + " is not a whole dump header";
    return false;
  }
  if (header->magic != kDumpMagic || header->minor != kDumpMinorVersion ||
      header->major != kDumpMajorVersion) {
    *error = path + " is not a dump header of this format and version";
    return false;
  }
  return true;
}

bool SameEntry(const dir::EntryKey &a, const dir::EntryKey &b) {
  return dir::SameUuid(a.uuid, b.uuid) && dir::SameUuid(a.owner, b.owner) && a.type == b.type &&
         a.revision == b.revision;
}

// A dump records no sub-cluster: an entry stored in several sub-clusters appears once per
// sub-cluster, the copies one after the other. The n-th copy goes to the n-th server
// sub-cluster in the byte order of their UUIDs, the order in which `find -a` lists copies,
// so that the listing comes out the same; a single copy thus goes to the lowest one.
class ClusterPlacer {
 public:
  explicit ClusterPlacer(std::vector<OlvaUUID> clusters) : ordered_(std::move(clusters)) {
    std::sort(ordered_.begin(), ordered_.end(), [](const OlvaUUID &a, const OlvaUUID &b) {
      return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) < 0;
    });
  }
  // Nothing when the entry has more copies than the directory has sub-clusters.
  std::optional<OlvaUUID> Place(const dir::EntryKey &key) {
    copies_ = copies_ != 0 && SameEntry(key, last_) ? copies_ + 1 : 1;
    last_ = key;
    if (copies_ > ordered_.size()) return std::nullopt;
    return ordered_[copies_ - 1];
  }

 private:
  std::vector<OlvaUUID> ordered_;
  dir::EntryKey last_;
  size_t copies_ = 0;
};

// Hands every entry of the dump to the target; *count receives how many.
bool Load(dir::BulkLoad &target, DumpStream &dump, const dir::DirectoryInfo &info,
          Progress &progress, uint64_t *count, std::string *error) {
  ClusterPlacer placer(info.clusters);
  DumpEntryReader reader(dump, stderr);
  DumpRead outcome;
  while ((outcome = reader.Next()) == DumpRead::kEntry) {
    const TarneEntry *entry = reader.Entry();
    dir::EntryKey key = dir::KeyOfHeader(*entry);
    key.owner = dir::ResolveOwner(key.owner, info.self);  // as for a new entry
    const std::optional<OlvaUUID> cluster = placer.Place(key);
    if (!cluster) {
      *error = dir::DescribeEntry(*count + 1, key) + " appears more often than the directory has " +
               "server sub-clusters";
      return false;
    }
    key.cluster = *cluster;
    if (!target.Add(*count + 1, key, *entry, error)) return false;
    progress.Advance(++*count);
  }
  const std::string after = " after " + std::to_string(*count) + " entries";
  switch (outcome) {
    case DumpRead::kEntry:
    case DumpRead::kEnd:
      return true;
    case DumpRead::kHeaderFailed:
      *error = "the dump is damaged or cut inside an entry header" + after;
      break;
    case DumpRead::kNoMemory:
      *error = "no memory for an entry of " + std::to_string(reader.EntrySize()) + " bytes" + after;
      break;
    case DumpRead::kPayloadFailed:
      *error = "the dump is damaged or cut inside a payload" + after;
      break;
  }
  return false;
}

// The whole load into an empty directory; *count receives the entries handed over.
bool Restore(dir::BulkLoad &target, const dir::DirectoryInfo &info, const std::string &input,
             const DumpHeader &header, uint64_t *count, std::string *error) {
  const std::optional<uint64_t> present = target.CountEntries(error);
  if (!present) return false;
  if (*present != 0) {
    *error = "the directory holds " + std::to_string(*present) +
             " entries; restore loads a dump only into an empty one";
    return false;
  }
  DumpStream dump;
  if (!dump.Open(input.c_str(), true)) {
    *error = "cannot open " + input + ": " + std::strerror(errno);
    return false;
  }
  // The header record holds the low 32 bits of the count, as the dump writer wrote it.
  const auto announced = static_cast<uint32_t>(header.numentries);
  Progress progress = Progress::OnTerminal(stderr, announced);
  if (!Load(target, dump, info, progress, count, error)) return false;
  progress.Finish();
  if (static_cast<uint32_t>(*count) != announced) {
    *error = "the dump holds " + std::to_string(*count) + " entries but its header announces " +
             std::to_string(announced);
    return false;
  }
  return true;
}

}  // namespace

int RunRestore(std::span<char *const> words) {
  const Command &command = CommandNamed("restore");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments =
      ParseOptionsOnly(command, words, kRestoreOptions, &usageStatus);
  if (!arguments) return usageStatus;
  std::string error;
  const std::optional<std::string> input = arguments->Value("input");
  if (!input) return UsageError(command, "--input is required");
  const std::string headerPath = arguments->Value("header").value_or(kDumpHeaderPath);

  DumpHeader header{};
  if (!ReadHeader(headerPath, &header, &error)) {
    (void)std::fprintf(stderr, "tarne-admin: %s\n", error.c_str());
    return kExitFailure;
  }
  const std::string location = arguments->DirectoryPath();
  const std::optional<OpenDirectory> directory = OpenExistingDirectory(location);
  if (!directory) return kExitFailure;
  const std::unique_ptr<dir::BulkLoad> target =
      dir::BackendFor(location).OpenBulkLoad(location, *directory->store, directory->info, &error);
  if (target == nullptr) {
    (void)std::fprintf(stderr, "tarne-admin: %s\n", error.c_str());
    return kExitFailure;
  }
  uint64_t count = 0;
  if (!Restore(*target, directory->info, *input, header, &count, &error) ||
      !target->Finish(&error)) {
    (void)std::fprintf(stderr, "tarne-admin: %s; %s\n", error.c_str(), target->Abandon().c_str());
    return kExitFailure;
  }
  (void)std::printf("restored %llu entries from %s\n", static_cast<unsigned long long>(count),
                    input->c_str());
  return kExitSuccess;
}

}  // namespace olva::admin
