#include "change_wait.h"

#include <algorithm>
#include <optional>

#include "client/tarne_status_codes.h"
#include "library.h"

namespace olva::dir {

PEK_ReturnStatus WaitForMatch(const MatchSpec &criteria, uint32_t timeoutSeconds) {
  using Clock = std::chrono::steady_clock;
  const bool limited = timeoutSeconds != 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
  Library &library = Library::Instance();
  const std::unique_ptr<ChangeWatch> watch = library.Store().WatchChanges();
  if (watch == nullptr) return TARNE_STATUS_FAILURE;

  for (;;) {
    // The mark comes before the lookup, so a commit between the two is seen as a change.
    if (!watch->Mark()) return TARNE_STATUS_FAILURE;
    bool found = false;
    const PEK_ReturnStatus scanned =
        library.Store().Scan(criteria, std::nullopt, 1, [&](const RowView &) {
          found = true;
          return false;
        });
    if (scanned != TARNE_STATUS_SUCCESS) return scanned;
    if (found) return TARNE_STATUS_SUCCESS;

    // Idle until something is committed; the lookup runs again only then.
    for (;;) {
      if (library.Closing()) return TARNE_STATUS_NO_CONNECTION;
      Clock::duration pause = kClosingCheckInterval;
      if (limited) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return TARNE_STATUS_TIMEOUT;
        pause = std::min(pause, deadline - now);
      }
      const ChangeWatch::Outcome outcome = watch->WaitForChange(pause);
      if (outcome == ChangeWatch::Outcome::kFailed) return TARNE_STATUS_FAILURE;
      if (outcome == ChangeWatch::Outcome::kChanged) break;
    }
  }
}

}  // namespace olva::dir
