#include "cli/commands.h"

#include <cstring>

#include "output/message.h"
#include "record/uuid.h"

namespace {

CommandCheckResult RefuseCommand(const char *message) {
  Message_Error("%s", message);
  return CommandCheckResult::kRefused;
}

CommandCheckResult CheckAdd(Settings &settings) {
  if ((settings.query.flags & (TARNE_QUERY_ANY_UUID | TARNE_QUERY_ANY_TYPE)) != 0) {
    return RefuseCommand("Type and UUID must be provided\n");
  }
  // The owner is -o's UUID, or the self marker it already holds.
  Query_ClearFlag(settings.query, TARNE_QUERY_ANY_OWNER);
  return CommandCheckResult::kPassed;
}

CommandCheckResult CheckType(Settings &settings) {
  if ((settings.query.flags & TARNE_QUERY_ANY_TYPE) != 0)
    return RefuseCommand("Type must be provided\n");
  return CommandCheckResult::kPassed;
}

CommandCheckResult CheckDumpFile(Settings &settings) {
  if (settings.dumpFile == nullptr) {
    return RefuseCommand("readdump requires dumpfile (specify with -d/--dumpfile)\n");
  }
  return CommandCheckResult::kPassed;
}

// In the order of the usage text, which also shows remoteFind as "remoteFd" (a word that
// is not accepted) and carries the trailing blanks of some description lines.
constexpr std::array<CommandInfo, 11> kCommands = {{
    {.word = "add",
     .usageName = "add",
     .usage = {"Adds an entry from stdin. On successful exit the",
               "entry is guaranteed to be in the directory"},
     .body = Command_Add,
     .check = CheckAdd},
    {.word = "delete",
     .usageName = "delete",
     .usage = {"Deletes matching entries. On successful exit the ",
               "entry will be deleted from the directory"},
     .body = Command_Delete,
     .check = Command_CheckDelete},
    {.word = "dump",
     .usageName = "dump",
     .usage = {"Dumps first matching entry to stdout"},
     .body = Command_Dump,
     .channelOnStderr = true},
    {.word = "find",
     .usageName = "find",
     .usage = {"Finds matching entries"},
     .body = Command_Find,
     .acceptsFormat = true,
     .needsClusterWhenSeveral = false},
    {.word = "remoteFind",
     .usageName = "remoteFd",
     .usage = {"Remote Find matching entries"},
     .body = Command_RemoteFind,
     .acceptsFormat = true},
    {.word = "wait",
     .usageName = "wait",
     .usage = {"Waits for a matching entry to appear"},
     .body = Command_Wait,
     .check = CheckType,
     .acceptsFormat = true},
    {.word = "waitdump",
     .usageName = "waitdump",
     .usage = {"Waits for a matching entry to appear and dumps ", "the entry to stdout"},
     .body = Command_WaitDump,
     .check = CheckType},
    {.word = "waitformembership",
     .usageName = "waitformembership",
     .usage = {"Waits for a membership entry to appear"},
     .body = Command_WaitForMembership},
    {.word = "whoami",
     .usageName = "whoami",
     .usage = {"Get the node's uuid as used in the sub-cluster"},
     .body = Command_Whoami,
     .needsClusterWhenSeveral = false},
    {.word = "amimember",
     .usageName = "amimember",
     .usage = {"Check if I am the member in the current sub-cluster"},
     .body = Command_AmIMember},
    {.word = "readdump",
     .usageName = "readdump",
     .usage = {"Reads a tarne directory dump from a file ", "(specified with -d/--dumpfile) and ",
               "o/p to stdout in a given format specified ", "using -f option. "},
     .body = Command_ReadDump,
     .check = CheckDumpFile,
     .acceptsFormat = true,
     .needsLibrary = false,
     .needsClusterWhenSeveral = false},
}};

}  // namespace

std::span<const CommandInfo> Commands_Table() {
  return kCommands;
}

const CommandInfo *Commands_FindByWord(const char *word) {
  for (const CommandInfo &info : kCommands) {
    if (std::strcmp(info.word, word) == 0) return &info;
  }
  return nullptr;
}
