// The output channel: every text about entries and every step-failure or informational
// line goes through Output_Printf.
#ifndef TARNE_OUTPUT_OUTPUT_H
#define TARNE_OUTPUT_OUTPUT_H

#include <cstdio>

// "%Y-%m-%dT%H:%M:%S: " of the local time, or "" when the clock cannot be read. The text
// lives in one process-wide buffer and is valid until the next call.
const char *Output_Timestamp();

// To standard output; while the command is `dump`, to standard error behind a timestamp.
// Adds no newline and does not flush.
void Output_Printf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Lets a test capture the channel without touching the process's streams.
void Output_SetStreams(FILE *out, FILE *err);
FILE *Output_Out();
FILE *Output_Err();

#endif  // TARNE_OUTPUT_OUTPUT_H
