#include "change_wait.h"

#include <algorithm>
#include <optional>

#include "client/tarne_status_codes.h"
#include "library.h"

namespace olva::dir {

PEK_ReturnStatus WaitForMatch(const MatchCriteria &criteria, uint32_t timeoutSeconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = timeoutSeconds == 0
                                         ? Clock::time_point::max()
                                         : Clock::now() + std::chrono::seconds(timeoutSeconds);
  Library &library = Library::Instance();
  const std::unique_ptr<ChangeWatch> watch = library.Store().WatchChanges();
  if (watch == nullptr) return TARNE_STATUS_FAILURE;
  const Library::WaitScope woken(*watch);  // closing interrupts the watch
  const CallBound bound(deadline);         // no lookup outlasts the wait

  for (;;) {
    if (library.Closing()) return TARNE_STATUS_NO_CONNECTION;
    if (Clock::now() >= deadline) return TARNE_STATUS_TIMEOUT;
    // The mark comes before the lookup, so a commit between the two is seen as a change.
    bool failed = !watch->Mark();
    if (!failed) {
      bool found = false;
      const PEK_ReturnStatus scanned =
          library.Store().Scan(criteria, std::nullopt, 1, [&](const RowView &) {
            found = true;
            return false;
          });
      if (scanned == TARNE_STATUS_SUCCESS && found) return TARNE_STATUS_SUCCESS;
      if (scanned != TARNE_STATUS_SUCCESS) {
        if (scanned != TARNE_STATUS_FAILURE || !watch->FailuresPass()) return scanned;
        failed = true;
      }
    } else if (!watch->FailuresPass()) {
      return TARNE_STATUS_FAILURE;
    }
    if (failed) {
      // The store may answer again: looks after a pause, or as soon as the watch has news.
      watch->WaitForChange(std::min<Clock::duration>(kLookupRetryPause, deadline - Clock::now()));
      continue;
    }

    // Idle until something is committed, the deadline passes or the library closes.
    for (;;) {
      if (library.Closing()) return TARNE_STATUS_NO_CONNECTION;
      const Clock::time_point now = Clock::now();
      if (now >= deadline) return TARNE_STATUS_TIMEOUT;
      const ChangeWatch::Outcome outcome = watch->WaitForChange(deadline - now);
      if (outcome == ChangeWatch::Outcome::kChanged) break;
      if (outcome == ChangeWatch::Outcome::kFailed) {
        if (!watch->FailuresPass()) return TARNE_STATUS_FAILURE;
        break;
      }
    }
  }
}

}  // namespace olva::dir
