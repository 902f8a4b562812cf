// The command table: one row per command word, the single source of what the command line
// accepts, what the usage text lists and what the dispatcher runs.
#ifndef TARNE_CLI_COMMANDS_H
#define TARNE_CLI_COMMANDS_H

#include <array>
#include <cstdint>
#include <span>

#include "settings/settings.h"

using CommandBody = int32_t (*)(const Settings &settings);

// What a command's own check on the parsed options decided.
enum class CommandCheckResult : uint8_t {
  kPassed,
  kPassedWithoutFormatCheck,  // delete-all: the confirmation takes the format check's place
  kRefused,                   // the check has written why; the usage text follows
};
// May adjust the query (add fills in the owner); writes its refusal to standard error.
using CommandCheck = CommandCheckResult (*)(Settings &settings);

inline constexpr int kUsageLinesPerRow = 4;

struct CommandInfo {
  const char *word;
  const char *usageName;                              // the word as the usage text shows it
  std::array<const char *, kUsageLinesPerRow> usage;  // description lines, unused ones null
  CommandBody body;
  CommandCheck check = nullptr;         // nothing beyond the format rule
  bool acceptsFormat = false;           // -f accepted and simple when absent; otherwise refused
  bool needsLibrary = true;             // false only for readdump
  bool needsClusterWhenSeveral = true;  // the "Missing -l" rule on several server clusters
  bool channelOnStderr = false;         // dump: standard output carries payload bytes alone
};

// The rows in the order of the usage text.
std::span<const CommandInfo> Commands_Table();
const CommandInfo *Commands_FindByWord(const char *word);

// Command bodies and the checks that live beside them, one command per file.
int32_t Command_Add(const Settings &settings);
int32_t Command_Delete(const Settings &settings);
CommandCheckResult Command_CheckDelete(Settings &settings);
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
