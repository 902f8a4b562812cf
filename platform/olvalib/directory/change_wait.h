// Blocking until a query has a match, whichever process adds it.
#ifndef OLVALIB_DIRECTORY_CHANGE_WAIT_H
#define OLVALIB_DIRECTORY_CHANGE_WAIT_H

#include <chrono>
#include <cstdint>

#include "client/tarne_client.h"
#include "match_criteria.h"

namespace olva::dir {

// How often an idle SQLite wait asks the database whether anything was committed.
inline constexpr std::chrono::milliseconds kChangePollInterval{10};
// How long a wait on a store whose failures pass pauses after a failed lookup, unless its
// watch has news sooner.
inline constexpr std::chrono::milliseconds kLookupRetryPause{200};

// 0 once a match exists. Timeout: none within timeoutSeconds (0 waits for ever).
// No connection: the library closed meanwhile. Failure: the database could not be read
// (on a cluster, lookups that fail are tried again until the timeout instead).
PEK_ReturnStatus WaitForMatch(const MatchCriteria &criteria, uint32_t timeoutSeconds);

}  // namespace olva::dir

#endif  // OLVALIB_DIRECTORY_CHANGE_WAIT_H
