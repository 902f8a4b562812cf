// Counts, throttles and awaits the completions of one command's asynchronous requests and
// yields one combined status for the whole batch.
#ifndef TARNE_UPDATE_COMPLETION_WAITER_H
#define TARNE_UPDATE_COMPLETION_WAITER_H

#include <semaphore.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "client/tarne_client.h"

inline constexpr unsigned kCompletionWaiterSlots = 900;  // requests in flight at most

struct CompletionWaiter {
  sem_t done;           // posted once by every completion
  uint32_t expected;    // requests issued; changed by the issuing thread alone
  uint32_t timeoutSec;  // limit of each single wait on done; 0: none
  // Combined status; completions test and replace it in one atomic step.
  std::atomic<PEK_ReturnStatus> status;
  sem_t throttle;  // free request slots
};

static_assert(std::atomic<PEK_ReturnStatus>::is_always_lock_free);
static_assert(sizeof(std::atomic<PEK_ReturnStatus>) == sizeof(PEK_ReturnStatus));
static_assert(std::is_standard_layout_v<CompletionWaiter>);
static_assert(offsetof(CompletionWaiter, done) == 0);
static_assert(offsetof(CompletionWaiter, expected) == sizeof(sem_t));
static_assert(offsetof(CompletionWaiter, timeoutSec) == sizeof(sem_t) + 4);
static_assert(offsetof(CompletionWaiter, status) == sizeof(sem_t) + 8);
static_assert(offsetof(CompletionWaiter, throttle) >= sizeof(sem_t) + 12);

// expected and timeoutSec 0, status "Not initialized", done 0, throttle 900.
void CompletionWaiter_Init(CompletionWaiter *waiter);

// Takes one throttle slot (blocking while all are in flight) and counts one more request.
// Called by the issuer just before each request.
void CompletionWaiter_TakeSlot(CompletionWaiter *waiter);

// Records status (the first failure stays), then posts done, then gives the slot back.
void CompletionWaiter_Complete(CompletionWaiter *waiter, PEK_ReturnStatus status);

// Waits for every counted completion and returns the combined status, or "Timeout" when a
// wait on done fails and "Failure" when the clock cannot be read. Destroys done on the normal
// path only.
PEK_ReturnStatus CompletionWaiter_Wait(CompletionWaiter *waiter);

// Blocks, without a time limit, until every counted request has completed all of
// CompletionWaiter_Complete, so that nothing touches the waiter once it goes out of scope.
// Needed on every path: the wait returns as soon as the last completion has posted done, while
// that completion still has to post throttle; and a wait that ended early, or was never
// reached, leaves requests in flight. Takes all throttle slots for good; cheap when nothing
// is in flight.
void CompletionWaiter_Settle(CompletionWaiter *waiter);

// Settles the waiter when the scope that owns it ends; declare it right after the waiter (and
// after anything else the requests refer to), so that it runs first.
class CompletionWaiterSettler {
 public:
  explicit CompletionWaiterSettler(CompletionWaiter *waiter) : waiter_(waiter) {}
  ~CompletionWaiterSettler() { CompletionWaiter_Settle(waiter_); }
  CompletionWaiterSettler(const CompletionWaiterSettler &) = delete;
  CompletionWaiterSettler &operator=(const CompletionWaiterSettler &) = delete;

 private:
  CompletionWaiter *waiter_;
};

#endif  // TARNE_UPDATE_COMPLETION_WAITER_H
