// The body of a command that this build does not carry yet.
#ifndef TARNE_CLI_NOT_AVAILABLE_H
#define TARNE_CLI_NOT_AVAILABLE_H

#include <cstdint>

int32_t Command_NotAvailable(const char *word);

#endif  // TARNE_CLI_NOT_AVAILABLE_H
