// Turns the command line into the settings and the query, before anything is opened.
#ifndef TARNE_CLI_COMMAND_LINE_H
#define TARNE_CLI_COMMAND_LINE_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>

#include "settings/settings.h"

struct CommandInfo;

struct CommandLineOutcome {
  bool run;                    // true: go on to start-up; false: exit at once with result
  int32_t result;              // -1 after a refusal, 0 after -h
  const CommandInfo *command;  // the command's row when run is true
};

// Every refusal writes its message and the usage text before returning. Standard input
// is read only for the delete-all confirmation.
CommandLineOutcome CommandLine_Parse(int argc, char **argv, Settings *settings);

// The usage text, with programName in place of the program's name.
void CommandLine_WriteUsage(FILE *stream, const char *programName);

// What the usage text, the manual page and the shell completion show of one option, read from the
// option table so that they list what the parser accepts.
struct CommandLineOption {
  char shortName;
  const char *longName;
  const char *argument;  // the usage text's placeholder ("<uuid>"); nullptr without argument
  bool listed;           // shown in the usage text (-a is not)
  std::array<const char *, 2> usage;  // the usage text's description lines, unused ones null
};

// In the order of the usage text, the unlisted options last.
std::span<const CommandLineOption> CommandLine_Options();
// The names -f accepts, format number 1 first.
std::span<const char *const> CommandLine_FormatNames();

#endif  // TARNE_CLI_COMMAND_LINE_H
