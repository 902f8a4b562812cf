#include "change_wait.h"

#include <algorithm>
#include <optional>
#include <thread>

#include "client/tarne_status_codes.h"
#include "library.h"

namespace olva::dir {

PEK_ReturnStatus WaitForMatch(const MatchSpec &criteria, uint32_t timeoutSeconds) {
  using Clock = std::chrono::steady_clock;
  const bool limited = timeoutSeconds != 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  Library &library = Library::Instance();
  Library::StoreLease store = library.LeaseStore();
  if (!store) return TARNE_STATUS_FAILURE;

  int64_t seenVersion = 0;
  for (;;) {
    // The version is read before the lookup, so a commit between the two is seen as a change.
    if (!store->connection().DataVersion(&seenVersion)) return TARNE_STATUS_FAILURE;
    bool found = false;
    const PEK_ReturnStatus scanned = store->Scan(criteria, std::nullopt, 1, [&](const RowView &) {
      found = true;
      return false;
    });
    if (scanned != TARNE_STATUS_SUCCESS) return scanned;
    if (found) return TARNE_STATUS_SUCCESS;

    // Idle until a commit of any connection changes the data version: one cheap pragma per
    // interval, no lookup.
    for (;;) {
      if (library.Closing()) return TARNE_STATUS_NO_CONNECTION;
      auto pause = std::chrono::duration_cast<Clock::duration>(kChangePollInterval);
      if (limited) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return TARNE_STATUS_TIMEOUT;
        pause = std::min(pause, deadline - now);
      }
      std::this_thread::sleep_for(pause);
      int64_t version = 0;
      if (!store->connection().DataVersion(&version)) return TARNE_STATUS_FAILURE;
      if (version != seenVersion) break;
    }
  }
}

}  // namespace olva::dir
