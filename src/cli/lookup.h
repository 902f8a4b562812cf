// The body of `dump`, which `waitdump` reuses.
#ifndef TARNE_CLI_LOOKUP_H
#define TARNE_CLI_LOOKUP_H

#include <cstdint>

#include "client/tarne_client.h"

// Writes the payload of the first match to standard output; 0 or -1.
int32_t DumpFirstMatch(const TarneQuery &query);

#endif  // TARNE_CLI_LOOKUP_H
