// The tool's diagnostics, in the three kinds it writes. Error lines go straight to standard
// error; step failures and informational lines carry the timestamp and go through the
// output channel, so under `dump` they reach standard error with a second timestamp.
#ifndef TARNE_OUTPUT_MESSAGE_H
#define TARNE_OUTPUT_MESSAGE_H

// Verbosity from which each kind of informational line is written.
inline constexpr int kVerbosityInfo = 1;              // completions, "Finished async find"
inline constexpr int kVerbosityEachDeletion = 2;      // every deletion request
inline constexpr int kVerbositySelfInMembership = 3;  // "Found this node ..."

// Without timestamp, whatever the verbosity.
void Message_Error(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Timestamp and text through the channel, unless the verbosity is negative.
void Message_StepFailure(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Timestamp and text through the channel, from verbosity `level` on.
void Message_Info(int level, const char *format, ...) __attribute__((format(printf, 2, 3)));

#endif  // TARNE_OUTPUT_MESSAGE_H
