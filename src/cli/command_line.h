// Turns the command line into the settings and the query, before anything is opened.
#ifndef TARNE_CLI_COMMAND_LINE_H
#define TARNE_CLI_COMMAND_LINE_H

#include <cstdint>
#include <cstdio>

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

#endif  // TARNE_CLI_COMMAND_LINE_H
