// Return status texts. PEK_ReturnStatusToString and Panic are declared with the client
// boundary (client/tarne_client.h) because the libraries call them too.
#ifndef TARNE_STATUS_STATUS_H
#define TARNE_STATUS_STATUS_H

#include <cstdint>

#include "client/tarne_client.h"
#include "client/tarne_status_codes.h"

inline constexpr int kStatusRowCount = 362;
extern const char *const statusTexts[kStatusRowCount];

#endif  // TARNE_STATUS_STATUS_H
