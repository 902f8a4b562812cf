// tarne-admin dump: streams every row of the directory, as one read transaction
// sees it, into a dump file, then writes the header file that announces them.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "admin_arguments.h"
#include "admin_commands.h"
#include "admin_directory.h"
#include "dump_writer.h"
#include "progress.h"
#include "tables/dump_header.h"

namespace olva::admin {
namespace {

constexpr OptionSpec kDumpOptions[] = {
    {"output", true, false},
    {"header", true, false},
    {"gzip-header", false, false},
};

uint32_t Now() {
  return static_cast<uint32_t>(std::time(nullptr));
}

// Every row of every sub-cluster, in the directory's own order (the order in which
// `find -a` lists them), as the directory was at one moment while writers go on beside it:
// one read transaction of the file, or one revision of the cluster (begun again at a later
// one when the cluster's history is compacted under a long dump).
bool WriteSnapshot(dir::DirectoryStore &store, DumpWriter &writer, std::string *error) {
  Progress progress = Progress::OnTerminal(stderr, 0);
  // Counting costs a pass over the rows: only for a person who watches.
  if (progress.Active()) progress.SetTotal(store.CountEntries().value_or(0));
  bool written = true;
  const PEK_ReturnStatus status = store.ReadSnapshot(
      [&](const dir::RowView &row) {
        TarneEntry header;
        std::memcpy(&header, row.header.data(), sizeof header);
        written = writer.Add(header, row.value, error);
        progress.Advance(writer.Count());
        return written;
      },
      [&] {
        written = writer.BeginAgain(error);
        return written;
      });
  progress.Finish();
  if (written && status != 0) {
    *error = "cannot read the directory: " + StoreFailureText(status);
    return false;
  }
  return written;
}

}  // namespace

int RunDump(std::span<char *const> words) {
  const Command &command = CommandNamed("dump");
  int usageStatus = kExitUsage;
  const std::optional<Arguments> arguments =
      ParseOptionsOnly(command, words, kDumpOptions, &usageStatus);
  if (!arguments) return usageStatus;
  std::string error;
  const std::optional<std::string> output = arguments->Value("output");
  if (!output) return UsageError(command, "--output is required");
  const std::string headerPath = arguments->Value("header").value_or(kDumpHeaderPath);

  std::optional<OpenDirectory> directory = OpenExistingDirectory(arguments->DirectoryPath());
  if (!directory) return kExitFailure;

  const uint32_t starttime = Now();
  DumpWriter writer;
  if (!writer.Open(*output, &error) || !WriteSnapshot(*directory->store, writer, &error) ||
      !writer.Finish(headerPath, arguments->Has("gzip-header"), starttime, Now(), &error)) {
    (void)std::fprintf(stderr, "tarne-admin: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("dumped %llu entries to %s, header %s\n",
              static_cast<unsigned long long>(writer.Count()), output->c_str(), headerPath.c_str());
  return kExitSuccess;
}

}  // namespace olva::admin
