// The command table: one row per command word, read by the command line, the dispatcher
// and the tests alike.
#ifndef TARNE_CLI_COMMANDS_H
#define TARNE_CLI_COMMANDS_H

#include <cstdint>
#include <span>

#include "settings/settings.h"

using CommandBody = int32_t (*)(const Settings &settings);

// What the command line does about -f for a command.
enum class FormatRule : uint8_t {
  kDefaultsToSimple,  // -f accepted; simple when absent
  kRefused,           // -f refused ("Parameter --format is only relevant ...")
  kRefusedUnlessAll,  // delete: accepted only on the confirmed delete-all path
};

// What the command line requires of a command's options beyond the format rule.
enum class Precondition : uint8_t {
  kNone,
  kUuidAndType,      // add: "Type and UUID must be provided"
  kType,             // wait, waitdump: "Type must be provided"
  kDumpFile,         // readdump: -d
  kConfirmAllOrNot,  // delete: asks before deleting everything
};

struct CommandInfo {
  const char *word;
  CommandId id;
  CommandBody body;
  bool needsLibrary;             // false only for readdump
  bool needsClusterWhenSeveral;  // the "Missing -l" rule on a node with several clusters
  FormatRule formatRule;
  Precondition precondition;
};

std::span<const CommandInfo> Commands_All();
const CommandInfo *Commands_FindByWord(const char *word);
const CommandInfo *Commands_FindById(CommandId id);

// Command bodies, one per file.
int32_t Command_Add(const Settings &settings);
int32_t Command_Delete(const Settings &settings);
int32_t Command_Dump(const Settings &settings);
int32_t Command_Find(const Settings &settings);
int32_t Command_RemoteFind(const Settings &settings);
int32_t Command_Whoami(const Settings &settings);
int32_t Command_AmIMember(const Settings &settings);
int32_t Command_Wait(const Settings &settings);
int32_t Command_WaitDump(const Settings &settings);
int32_t Command_WaitForMembership(const Settings &settings);
int32_t Command_ReadDump(const Settings &settings);

#endif  // TARNE_CLI_COMMANDS_H
