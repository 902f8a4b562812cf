#include "update/completion_waiter.h"

#include <cerrno>
#include <ctime>

#include "client/tarne_status_codes.h"

namespace {

// One wait on done. Interruptions by a signal are retried here, so they never count as a
// completion; with a time limit the deadline is taken afresh from the clock each time.
PEK_ReturnStatus WaitOnceForCompletion(CompletionWaiter *waiter) {
  for (;;) {
    int result = 0;
    if (waiter->timeoutSec != 0) {
      // CLOCK_REALTIME: the clock that sem_timedwait measures its deadline against.
      timespec deadline{};
      if (clock_gettime(CLOCK_REALTIME, &deadline) != 0) return TARNE_STATUS_FAILURE;
      deadline.tv_sec += waiter->timeoutSec;
      result = sem_timedwait(&waiter->done, &deadline);
    } else {
      result = sem_wait(&waiter->done);
    }
    if (result == 0) return TARNE_STATUS_SUCCESS;
    if (errno != EINTR) return TARNE_STATUS_TIMEOUT;
  }
}

}  // namespace

void CompletionWaiter_Init(CompletionWaiter *waiter) {
  waiter->expected = 0;
  waiter->timeoutSec = 0;
  waiter->status.store(TARNE_STATUS_NOT_INITIALIZED, std::memory_order_relaxed);
  // A failed initialisation is not reported: neither can fail for these values.
  sem_init(&waiter->done, 0, 0);
  sem_init(&waiter->throttle, 0, kCompletionWaiterSlots);
}

void CompletionWaiter_TakeSlot(CompletionWaiter *waiter) {
  while (sem_wait(&waiter->throttle) != 0 && errno == EINTR) {
  }
  waiter->expected += 1;
}

void CompletionWaiter_Complete(CompletionWaiter *waiter, PEK_ReturnStatus status) {
  // Only "nothing yet" (Not initialized) and success may be replaced, so the first failure
  // delivered stays even when completions race each other.
  PEK_ReturnStatus recorded = waiter->status.load(std::memory_order_relaxed);
  while ((recorded == TARNE_STATUS_NOT_INITIALIZED || recorded == TARNE_STATUS_SUCCESS) &&
         !waiter->status.compare_exchange_weak(recorded, status, std::memory_order_acq_rel,
                                               std::memory_order_relaxed)) {
  }
  // The posts come last, so that a thread woken by them sees the final status. Settle waits
  // for the throttle post, after which this completion no longer touches the waiter (sem_post
  // reads all it needs before it makes the slot visible).
  sem_post(&waiter->done);
  sem_post(&waiter->throttle);
}

PEK_ReturnStatus CompletionWaiter_Wait(CompletionWaiter *waiter) {
  if (waiter->expected != 0) {
    uint32_t seen = 0;
    do {
      const PEK_ReturnStatus waited = WaitOnceForCompletion(waiter);
      if (waited != TARNE_STATUS_SUCCESS) return waited;
      ++seen;
    } while (waiter->expected > seen);
  }
  sem_destroy(&waiter->done);
  return waiter->status.load(std::memory_order_acquire);
}

void CompletionWaiter_Settle(CompletionWaiter *waiter) {
  // Every request holds one throttle slot until the last step of its completion gives it
  // back, so holding all slots at once means that no completion is running or still to come.
  // This works however many posts of done an interrupted wait has consumed, and never touches
  // done, which the wait may have destroyed.
  for (unsigned held = 0; held < kCompletionWaiterSlots; ++held) {
    while (sem_wait(&waiter->throttle) != 0) {
      if (errno != EINTR) return;  // not a valid semaphore: nothing can be settled
    }
  }
}
