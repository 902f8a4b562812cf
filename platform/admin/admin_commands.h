// The commands of tarne-admin. Each takes the words after its name and returns the exit
// status: 0 done, 1 failed, 2 a usage error (reported with the command's usage).
#ifndef TARNE_ADMIN_ADMIN_COMMANDS_H
#define TARNE_ADMIN_ADMIN_COMMANDS_H

#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

#include "admin_arguments.h"

namespace olva::admin {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The project's version, as the build names it.
inline constexpr const char *kVersion = TARNE_VERSION;

struct Command {
  const char *name;
  int (*run)(std::span<char *const> words);
  const char *usage;  // the synopsis line(s), without the program name
};

int RunInit(std::span<char *const> words);
int RunPut(std::span<char *const> words);
int RunMembers(std::span<char *const> words);
int RunInfo(std::span<char *const> words);
int RunDump(std::span<char *const> words);
int RunRestore(std::span<char *const> words);
int RunCheck(std::span<char *const> words);
int RunCompact(std::span<char *const> words);
int RunUpgrade(std::span<char *const> words);
int RunStatus(std::span<char *const> words);

inline constexpr Command kCommands[] = {
    {"init", RunInit,
     "init [--self UUID] [--cluster UUID]... [--force] [--directory PATH]\n"
     "    [--ca FILE --cert FILE --key FILE]\n"
     "      create a directory (a random self UUID and one random cluster by default); on a\n"
     "      cluster, this host's node file and the shared directory unless it is there"},
    {"put", RunPut,
     "put --uuid UUID [--owner UUID] --type TYPE [--revision N] [--cluster UUID]\n"
     "    [--flag N] [--min-host-version N] [--file PATH | NAME=VALUE...] [--directory PATH]\n"
     "      add an entry; its payload from the file, the fields, or standard input"},
    {"members", RunMembers,
     "members --cluster UUID [--generation N] [UUID...] [--directory PATH]\n"
     "      write the sub-cluster's membership entry"},
    {"info", RunInfo,
     "info [--directory PATH]\n"
     "      print the self UUID, the server sub-clusters and the entry count"},
    {"dump", RunDump,
     "dump --output FILE [--header PATH] [--gzip-header] [--directory PATH]\n"
     "      write every entry, from one snapshot, as a gzip dump file and its header file\n"
     "      (by default /scratch/log/tarne.dump.hdr), as tarne-tool readdump reads them"},
    {"restore", RunRestore,
     "restore --input FILE [--header PATH] [--directory PATH]\n"
     "      load a dump and its header file into an empty directory, all or nothing"},
    {"check", RunCheck,
     "check [--directory PATH]\n"
     "      verify the database, every entry's header against its key, and the identity;\n"
     "      on a cluster, also that no alarm is raised"},
    {"compact", RunCompact,
     "compact [--directory PATH]\n"
     "      on a cluster: drop the history of changes, defragment the members one at a time\n"
     "      and clear a space alarm, so that writes the cluster refused for want of space pass"},
    {"status", RunStatus,
     "status [-f|--format text|json] [--directory PATH]\n"
     "      where the directory is, whether it serves and why not: its members, leader,\n"
     "      alarms, sizes and entries; exit status 0 healthy, 1 degraded, 2 unreachable"},
    {"upgrade", RunUpgrade,
     "upgrade [--directory PATH]\n"
     "      move a cluster directory of the earlier key layout (a prefix with % or /) to\n"
     "      the current one"},
};

const Command &CommandNamed(std::string_view name);  // one of kCommands, by name

// The usage of one command, or of all when command is null: to standard output when asked
// for, to standard error after a mistake.
void PrintUsage(const Command *command, std::FILE *stream);
// "tarne-admin: <what>" on standard error, then the command's usage; returns kExitUsage.
int UsageError(const Command &command, const std::string_view what);
// The options of a command that takes no positional words. Nothing after a mistake, which
// has been reported as a usage error with *exitStatus set to its status.
std::optional<Arguments> ParseOptionsOnly(const Command &command, std::span<char *const> words,
                                          std::span<const OptionSpec> options, int *exitStatus);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_ADMIN_COMMANDS_H
