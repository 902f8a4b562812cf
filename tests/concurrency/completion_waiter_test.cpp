#include "update/completion_waiter.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <memory>
#include <thread>
#include <vector>

#include "client/tarne_status_codes.h"

namespace {

using namespace std::chrono_literals;

constexpr PEK_ReturnStatus kFailureA = TARNE_STATUS_BUSY;
constexpr PEK_ReturnStatus kFailureB = TARNE_STATUS_NO_CONNECTION;

// How long a thread that should stay blocked is given to (wrongly) get through.
constexpr auto kBlockedGrace = 150ms;

// A waiter with `requests` issued, each single wait limited to `timeoutSec` (0: none).
std::unique_ptr<CompletionWaiter> Issued(unsigned requests, uint32_t timeoutSec = 0) {
  auto waiter = std::make_unique<CompletionWaiter>();
  CompletionWaiter_Init(waiter.get());
  waiter->timeoutSec = timeoutSec;
  for (unsigned i = 0; i < requests; ++i) CompletionWaiter_TakeSlot(waiter.get());
  return waiter;
}

// Issues one request per status and delivers the completions one after another, each on a
// thread of its own, in the order given.
PEK_ReturnStatus CompleteInOrder(std::initializer_list<PEK_ReturnStatus> statuses) {
  const auto waiter = Issued(static_cast<unsigned>(statuses.size()));
  for (PEK_ReturnStatus status : statuses) {
    std::thread([&waiter, status] { CompletionWaiter_Complete(waiter.get(), status); }).join();
  }
  return CompletionWaiter_Wait(waiter.get());
}

TEST(CompletionWaiterRecording, FirstFailureStaysAndSuccessReplacesOnlyNotInitialized) {
  EXPECT_EQ(CompleteInOrder({0}), 0u);
  EXPECT_EQ(CompleteInOrder({0, kFailureA, kFailureB}), kFailureA);
  EXPECT_EQ(CompleteInOrder({kFailureA, 0}), kFailureA);
  EXPECT_EQ(CompleteInOrder({0, 0, kFailureB, 0}), kFailureB);
  // "Not initialized" reported by a completion does not stick.
  EXPECT_EQ(CompleteInOrder({TARNE_STATUS_NOT_INITIALIZED, 0}), 0u);
  EXPECT_EQ(CompleteInOrder({TARNE_STATUS_NOT_INITIALIZED, kFailureA}), kFailureA);
  EXPECT_EQ(CompleteInOrder({}), TARNE_STATUS_NOT_INITIALIZED) << "no request: at once";
}

TEST(CompletionWaiterRecording, OneFailureAmongConcurrentSuccessesIsNeverLost) {
  constexpr int kThreads = 8;
  constexpr int kPerThread = 100;
  for (int round = 0; round < 20; ++round) {
    const auto waiter = Issued(kThreads * kPerThread);
    const int failingThread = round % kThreads;
    const int failingIndex = (round * 37) % kPerThread;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < kPerThread; ++i) {
          const bool fails = t == failingThread && i == failingIndex;
          CompletionWaiter_Complete(waiter.get(), fails ? kFailureA : 0);
        }
      });
    }
    go.store(true);
    for (std::thread &thread : threads) thread.join();
    ASSERT_EQ(CompletionWaiter_Wait(waiter.get()), kFailureA) << "round " << round;
  }
}

std::atomic<int> signalsHandled{0};
void CountSignal(int) {
  signalsHandled.fetch_add(1);
}

// The wait returns after the last completion only: not after one of two, nor on a signal.
TEST(CompletionWaiterWait, SignalNeitherEndsTheWaitNorCountsAsCompletion) {
  struct sigaction action {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the wait sees EINTR
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  signalsHandled.store(0);

  const auto waiter = Issued(2);
  std::atomic<bool> finished{false};
  PEK_ReturnStatus result = TARNE_STATUS_NOT_INITIALIZED;
  std::thread wait([&] {
    result = CompletionWaiter_Wait(waiter.get());
    finished.store(true);
  });
  for (int i = 0; i < 20; ++i) {
    pthread_kill(wait.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(10ms);
  }
  // One real completion: a counted interruption would now make two and end the wait.
  CompletionWaiter_Complete(waiter.get(), 0);
  std::this_thread::sleep_for(kBlockedGrace);
  EXPECT_GT(signalsHandled.load(), 0);
  EXPECT_FALSE(finished.load());
  CompletionWaiter_Complete(waiter.get(), 0);
  wait.join();
  EXPECT_EQ(result, 0u);
  sigaction(SIGUSR1, &previous, nullptr);
}

TEST(CompletionWaiterWait, TimedWaitAppliesToEachCompletionNotTheBatch) {
  const auto waiter = Issued(3, 1);
  // Three completions 600 ms apart: 1.8 s in all, but never a second between two.
  std::thread completer([&waiter] {
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(600ms);
      CompletionWaiter_Complete(waiter.get(), 0);
    }
  });
  EXPECT_EQ(CompletionWaiter_Wait(waiter.get()), 0u);
  completer.join();
}

// The number of requests in flight is the tool's contract with the library: 900, not a
// name for it, so that a changed limit fails here (a smaller one before it could block).
TEST(CompletionWaiterThrottle, The901stRequestWaitsForACompletion) {
  const auto waiter = Issued(0);
  int free = 0;
  ASSERT_EQ(sem_getvalue(&waiter->throttle, &free), 0);
  ASSERT_EQ(free, 900);
  for (int i = 0; i < free; ++i) CompletionWaiter_TakeSlot(waiter.get());
  std::atomic<bool> issued{false};
  std::thread issuer([&] {
    CompletionWaiter_TakeSlot(waiter.get());
    issued.store(true);
  });
  std::this_thread::sleep_for(kBlockedGrace);
  EXPECT_FALSE(issued.load());
  CompletionWaiter_Complete(waiter.get(), 0);
  issuer.join();
  EXPECT_EQ(waiter->expected, 901u);
  for (unsigned i = 0; i < 900; ++i) CompletionWaiter_Complete(waiter.get(), 0);
  EXPECT_EQ(CompletionWaiter_Wait(waiter.get()), 0u);
}

// The settler that holds a command's scope is checked end to end (delete_failures).
TEST(CompletionWaiterSettle, ReturnsOnlyWhenEveryRequestHasCompleted) {
  const auto waiter = Issued(3, 1);
  CompletionWaiter_Complete(waiter.get(), 0);
  // The wait consumes the one completion, then gives up on the other two after its second.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(CompletionWaiter_Wait(waiter.get()), TARNE_STATUS_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);

  std::atomic<int> started{0};
  std::thread late([&] {
    for (int i = 0; i < 2; ++i) {
      std::this_thread::sleep_for(100ms);
      started.fetch_add(1);
      CompletionWaiter_Complete(waiter.get(), kFailureB);
    }
  });
  CompletionWaiter_Settle(waiter.get());
  EXPECT_EQ(started.load(), 2);
  EXPECT_EQ(waiter->status.load(), kFailureB);
  late.join();
}

}  // namespace
