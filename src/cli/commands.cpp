#include "cli/commands.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<CommandInfo, 11> kCommands = {{
    {"add", CommandId::kAdd, Command_Add, true, true, FormatRule::kRefused,
     Precondition::kUuidAndType},
    {"delete", CommandId::kDelete, Command_Delete, true, true, FormatRule::kRefusedUnlessAll,
     Precondition::kConfirmAllOrNot},
    {"dump", CommandId::kDump, Command_Dump, true, true, FormatRule::kRefused, Precondition::kNone},
    {"find", CommandId::kFind, Command_Find, true, false, FormatRule::kDefaultsToSimple,
     Precondition::kNone},
    {"remoteFind", CommandId::kRemoteFind, Command_RemoteFind, true, true,
     FormatRule::kDefaultsToSimple, Precondition::kNone},
    {"whoami", CommandId::kWhoami, Command_Whoami, true, false, FormatRule::kRefused,
     Precondition::kNone},
    {"amimember", CommandId::kAmIMember, Command_AmIMember, true, true, FormatRule::kRefused,
     Precondition::kNone},
    {"wait", CommandId::kWait, Command_Wait, true, true, FormatRule::kDefaultsToSimple,
     Precondition::kType},
    {"waitdump", CommandId::kWaitDump, Command_WaitDump, true, true, FormatRule::kRefused,
     Precondition::kType},
    {"waitformembership", CommandId::kWaitForMembership, Command_WaitForMembership, true, true,
     FormatRule::kRefused, Precondition::kNone},
    {"readdump", CommandId::kReadDump, Command_ReadDump, false, false,
     FormatRule::kDefaultsToSimple, Precondition::kDumpFile},
}};

// The table is indexed by id - 1 in Commands_FindById.
constexpr bool IdsFollowRows() {
  for (size_t i = 0; i < kCommands.size(); ++i) {
    if (static_cast<size_t>(kCommands[i].id) != i + 1) return false;
  }
  return true;
}
static_assert(IdsFollowRows());

}  // namespace

std::span<const CommandInfo> Commands_All() {
  return kCommands;
}

const CommandInfo *Commands_FindByWord(const char *word) {
  for (const CommandInfo &info : kCommands) {
    if (std::strcmp(info.word, word) == 0) return &info;
  }
  return nullptr;
}

const CommandInfo *Commands_FindById(CommandId id) {
  const auto index = static_cast<size_t>(id);
  if (index == 0 || index > kCommands.size()) return nullptr;
  return &kCommands[index - 1];
}
