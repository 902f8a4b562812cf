#include "update/completion_waiter.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <thread>
#include <vector>

#include "client/tarne_status_codes.h"

namespace {

using namespace std::chrono_literals;

constexpr PEK_ReturnStatus kFailureA = TARNE_STATUS_BUSY;
constexpr PEK_ReturnStatus kFailureB = TARNE_STATUS_NO_CONNECTION;

// How long a thread that should stay blocked is given to (wrongly) get through.
constexpr auto kBlockedGrace = 150ms;

// Issues one request per status and delivers the completions one after another, each on a
// thread of its own, in the order given.
PEK_ReturnStatus CompleteInOrder(std::initializer_list<PEK_ReturnStatus> statuses) {
  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  for (size_t i = 0; i < statuses.size(); ++i) CompletionWaiter_TakeSlot(&waiter);
  for (PEK_ReturnStatus status : statuses) {
    std::thread([&waiter, status] { CompletionWaiter_Complete(&waiter, status); }).join();
  }
  return CompletionWaiter_Wait(&waiter);
}

// Runs CompletionWaiter_Wait on a thread of its own and tells whether it has returned.
class BackgroundWait {
 public:
  explicit BackgroundWait(CompletionWaiter *waiter)
      : thread_([this, waiter] {
          entered_.store(true);
          result_ = CompletionWaiter_Wait(waiter);
          finished_.store(true);
        }) {
    while (!entered_.load()) std::this_thread::yield();
  }
  ~BackgroundWait() {
    if (thread_.joinable()) thread_.join();
  }
  bool Finished() const { return finished_.load(); }
  PEK_ReturnStatus Join() {
    thread_.join();
    return result_;
  }
  pthread_t Handle() { return thread_.native_handle(); }

 private:
  std::atomic<bool> entered_{false};
  std::atomic<bool> finished_{false};
  PEK_ReturnStatus result_ = 0;
  std::thread thread_;
};

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
    CompletionWaiter waiter;
    CompletionWaiter_Init(&waiter);
    for (int i = 0; i < kThreads * kPerThread; ++i) CompletionWaiter_TakeSlot(&waiter);
    const int failingThread = round % kThreads;
    const int failingIndex = (round * 37) % kPerThread;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < kPerThread; ++i) {
          const bool fails = t == failingThread && i == failingIndex;
          CompletionWaiter_Complete(&waiter, fails ? kFailureA : 0);
        }
      });
    }
    go.store(true);
    for (std::thread &thread : threads) thread.join();
    ASSERT_EQ(CompletionWaiter_Wait(&waiter), kFailureA) << "round " << round;
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

  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  CompletionWaiter_TakeSlot(&waiter);
  CompletionWaiter_TakeSlot(&waiter);
  {
    BackgroundWait wait(&waiter);
    for (int i = 0; i < 20; ++i) {
      pthread_kill(wait.Handle(), SIGUSR1);
      std::this_thread::sleep_for(10ms);
    }
    // One real completion: a counted interruption would now make two and end the wait.
    CompletionWaiter_Complete(&waiter, 0);
    std::this_thread::sleep_for(kBlockedGrace);
    EXPECT_GT(signalsHandled.load(), 0);
    EXPECT_FALSE(wait.Finished());
    CompletionWaiter_Complete(&waiter, 0);
    EXPECT_EQ(wait.Join(), 0u);
  }
  sigaction(SIGUSR1, &previous, nullptr);
}

TEST(CompletionWaiterWait, TimedWaitAppliesToEachCompletionNotTheBatch) {
  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  waiter.timeoutSec = 1;
  for (int i = 0; i < 3; ++i) CompletionWaiter_TakeSlot(&waiter);
  // Three completions 600 ms apart: 1.8 s in all, but never a second between two.
  std::thread completer([&waiter] {
    for (int i = 0; i < 3; ++i) {
      std::this_thread::sleep_for(600ms);
      CompletionWaiter_Complete(&waiter, 0);
    }
  });
  EXPECT_EQ(CompletionWaiter_Wait(&waiter), 0u);
  completer.join();
}

TEST(CompletionWaiterThrottle, The901stRequestWaitsForACompletion) {
  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  for (unsigned i = 0; i < kCompletionWaiterSlots; ++i) CompletionWaiter_TakeSlot(&waiter);
  std::atomic<bool> issued{false};
  std::thread issuer([&] {
    CompletionWaiter_TakeSlot(&waiter);
    issued.store(true);
  });
  std::this_thread::sleep_for(kBlockedGrace);
  EXPECT_FALSE(issued.load());
  CompletionWaiter_Complete(&waiter, 0);
  issuer.join();
  EXPECT_TRUE(issued.load());
  EXPECT_EQ(waiter.expected, kCompletionWaiterSlots + 1);
  for (unsigned i = 0; i < kCompletionWaiterSlots; ++i) CompletionWaiter_Complete(&waiter, 0);
  EXPECT_EQ(CompletionWaiter_Wait(&waiter), 0u);
}

// The settler that holds a command's scope is checked end to end (delete_failures).
TEST(CompletionWaiterSettle, ReturnsOnlyWhenEveryRequestHasCompleted) {
  CompletionWaiter waiter;
  CompletionWaiter_Init(&waiter);
  waiter.timeoutSec = 1;
  for (int i = 0; i < 3; ++i) CompletionWaiter_TakeSlot(&waiter);
  CompletionWaiter_Complete(&waiter, 0);
  // The wait consumes the one completion, then gives up on the other two after its second.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(CompletionWaiter_Wait(&waiter), TARNE_STATUS_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);

  std::atomic<int> started{0};
  std::thread late([&] {
    for (int i = 0; i < 2; ++i) {
      std::this_thread::sleep_for(100ms);
      started.fetch_add(1);
      CompletionWaiter_Complete(&waiter, kFailureB);
    }
  });
  CompletionWaiter_Settle(&waiter);
  EXPECT_EQ(started.load(), 2);
  EXPECT_EQ(waiter.status.load(), kFailureB);
  late.join();
}

}  // namespace
