// Writing the payload of the first match: the body of `dump`, which `waitdump` reuses.
#ifndef TARNE_CLI_FIRST_MATCH_PAYLOAD_H
#define TARNE_CLI_FIRST_MATCH_PAYLOAD_H

#include <cstdint>

#include "client/tarne_client.h"

// Writes the payload of the first match to standard output; 0 or -1.
int32_t WriteFirstMatchPayload(const TarneQuery &query);

#endif  // TARNE_CLI_FIRST_MATCH_PAYLOAD_H
