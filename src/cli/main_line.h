// Start-up and dispatch: from an accepted command line to the exit status.
#ifndef TARNE_CLI_MAIN_LINE_H
#define TARNE_CLI_MAIN_LINE_H

int RunTool(int argc, char **argv);

#endif  // TARNE_CLI_MAIN_LINE_H
