// The usage of tarne-admin's commands, from the command table.
#include <cstdio>
#include <cstdlib>

#include "admin_commands.h"

namespace olva::admin {

void PrintUsage(const Command *command, std::FILE *stream) {
  // Nothing to do when the usage cannot be written.
  static_cast<void>(std::fputs("usage:\n", stream));
  for (const Command &candidate : kCommands) {
    if (command == nullptr || command == &candidate) {
      static_cast<void>(std::fprintf(stream, "  tarne-admin %s\n", candidate.usage));
    }
  }
  if (command == nullptr) {
    static_cast<void>(std::fputs(
        "The directory is --directory PATH, else $TARNE_DIRECTORY, else "
        "/var/lib/tarne/directory.db.\n"
        "A directory on an etcd cluster is etcd://HOST:PORT[,HOST:PORT...][/PREFIX] (etcds:// for\n"
        "TLS), with this host's identity in its node file: $TARNE_NODE, else /etc/tarne/node.\n"
        "tarne-admin help COMMAND, or COMMAND --help, prints the usage of one command;\n"
        "tarne-admin --version prints the version.\n",
        stream));
  }
}

const Command &CommandNamed(std::string_view name) {
  for (const Command &command : kCommands) {
    if (command.name == name) return command;
  }
  std::abort();  // only called with the names of the table
}

int UsageError(const Command &command, std::string_view what) {
  static_cast<void>(
      std::fprintf(stderr, "tarne-admin: %.*s\n", static_cast<int>(what.size()), what.data()));
  PrintUsage(&command, stderr);
  return kExitUsage;
}

std::optional<Arguments> ParseOptionsOnly(const Command &command, std::span<char *const> words,
                                          std::span<const OptionSpec> options, int *exitStatus) {
  std::string error;
  std::optional<Arguments> arguments = Arguments::Parse(words, options, &error);
  if (arguments && !arguments->Positional().empty()) {
    error = "unexpected argument " + arguments->Positional().front();
    arguments.reset();
  }
  if (!arguments) *exitStatus = UsageError(command, error);
  return arguments;
}

}  // namespace olva::admin
