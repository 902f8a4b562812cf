// The output channel: every text about entries and every step-failure or informational
// line goes through Output_Printf (or Output_Write, for a text already built).
#ifndef TARNE_OUTPUT_OUTPUT_H
#define TARNE_OUTPUT_OUTPUT_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// "%Y-%m-%dT%H:%M:%S: " of the local time, or "" when the clock cannot be read. The text
// lives in one process-wide buffer and is valid until the next call.
const char *Output_Timestamp();

// To standard output; while the command is `dump`, to standard error behind a timestamp.
// Adds no newline and does not flush.
void Output_Printf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The same with `prefix` written before the text (the messages put their timestamp there).
void Output_VPrintf(const char *prefix, const char *format, va_list args);

// Output_Printf("%s", text) for a text already built, of `length` bytes without a NUL: the
// entry printers' one write per entry.
void Output_Write(const char *text, size_t length);

// Lets a test capture the channel without touching the process's streams.
void Output_SetStreams(FILE *out, FILE *err);
FILE *Output_Out();
FILE *Output_Err();

#endif  // TARNE_OUTPUT_OUTPUT_H
