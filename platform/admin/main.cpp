// tarne-admin: creates and fills the embedded directory that libolvalib.so reads.
#include <cstdio>
#include <cstring>
#include <span>

#include "admin_commands.h"

namespace {

const olva::admin::Command *FindCommand(const char *name) {
  for (const olva::admin::Command &command : olva::admin::kCommands) {
    if (std::strcmp(name, command.name) == 0) return &command;
  }
  return nullptr;
}

bool AsksForHelp(const char *word) {
  return std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0 ||
         std::strcmp(word, "help") == 0;
}

}  // namespace

int main(int argc, char **argv) {
  using namespace olva::admin;
  if (argc < 2) {
    PrintUsage(nullptr, stderr);
    return kExitUsage;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    static_cast<void>(std::printf("tarne-admin %s\n", kVersion));
    return kExitSuccess;
  }
  // "help COMMAND" asks for that command's usage.
  const bool help = AsksForHelp(argv[1]);
  const char *name = help ? (argc > 2 ? argv[2] : nullptr) : argv[1];
  const Command *command = name != nullptr ? FindCommand(name) : nullptr;
  if (help && (name == nullptr || command != nullptr)) {
    PrintUsage(command, stdout);
    return kExitSuccess;
  }
  if (command == nullptr) {
    static_cast<void>(std::fprintf(stderr, "tarne-admin: unknown command %s\n", name));
    PrintUsage(nullptr, stderr);
    return kExitUsage;
  }
  const std::span<char *const> words(argv + 2, static_cast<size_t>(argc - 2));
  for (const char *word : words) {
    if (std::strcmp(word, "--help") == 0) {
      PrintUsage(command, stdout);
      return kExitSuccess;
    }
  }
  return command->run(words);
}
