// The worker queue under the writer and the remote-find thread: batches in order and within
// their limit, a full queue refused, and a stop that still hands over what was queued.
#include "directory/worker_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <semaphore>
#include <thread>
#include <vector>

namespace olva::dir {
namespace {

struct Batch {
  std::vector<int> items;
  bool cancelled;
};

TEST(WorkerQueueTest, StopHandsOverEveryQueuedItemCancelledInBatchesWithinTheLimit) {
  std::binary_semaphore entered{0}, release{0};
  std::vector<Batch> seen;  // written by the worker only, read after Stop has joined it
  WorkerQueue<int> queue(7);
  queue.Start(3, [&](std::vector<int> &batch, bool cancelled) {
    seen.push_back({batch, cancelled});
    if (seen.size() == 1) {
      entered.release();
      release.acquire();
    }
  });
  ASSERT_EQ(queue.Submit(0), TARNE_STATUS_SUCCESS);
  entered.acquire();  // the worker holds item 0; the rest wait in the queue
  for (int item = 1; item <= 7; ++item) ASSERT_EQ(queue.Submit(item), TARNE_STATUS_SUCCESS);
  EXPECT_EQ(queue.Submit(8), TARNE_STATUS_LIMIT_EXCEEDED);

  std::thread stopping([&] { queue.Stop(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!queue.Stopping() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_TRUE(queue.Stopping());
  EXPECT_EQ(queue.Submit(9), TARNE_STATUS_NO_CONNECTION);
  release.release();
  stopping.join();

  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].items, std::vector<int>{0});
  EXPECT_FALSE(seen[0].cancelled);
  EXPECT_EQ(seen[1].items, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(seen[2].items, (std::vector<int>{4, 5, 6}));
  EXPECT_EQ(seen[3].items, std::vector<int>{7});
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_TRUE(seen[i].cancelled) << i;
}

}  // namespace
}  // namespace olva::dir
