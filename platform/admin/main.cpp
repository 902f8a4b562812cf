// tarne-admin: creates and fills the embedded directory that libolvalib.so reads.
#include <cstdio>
#include <cstring>
#include <span>

#include "admin_commands.h"

int main(int argc, char **argv) {
  using namespace olva::admin;
  if (argc < 2) {
    PrintUsage(nullptr);
    return kExitUsage;
  }
  for (const Command &command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) {
      return command.run(std::span<char *const>(argv + 2, static_cast<size_t>(argc - 2)));
    }
  }
  std::fprintf(stderr, "tarne-admin: unknown command %s\n", argv[1]);
  PrintUsage(nullptr);
  return kExitUsage;
}
