// The executor that splits one image's work over threads: every task runs once, whoever runs
// it; failures come back to the caller; jobs of several callers share the helpers.

#include <atomic>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "parallel/executor.hpp"

namespace superpixels {
namespace {

TEST(Executor, EveryTaskRunsOnceWithAnyNumberOfThreads) {
  for (const int helpers : {0, 1, 3}) {
    Executor executor(helpers);
    for (const int threads : {1, 2, 4, 16}) {
      for (const std::int64_t count : {0, 1, 2, 7, 1000}) {
        std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
        executor.run(count, threads, [&](std::int64_t i) { ++runs[i]; });
        for (std::int64_t i = 0; i < count; ++i) {
          ASSERT_EQ(runs[i].load(), 1)
              << helpers << " helpers, " << threads << " threads, task " << i << " of " << count;
        }
      }
    }
  }
}

TEST(Executor, HelpersTakePartAndThreadsBoundTheJob) {
  Executor executor(3);
  // Tasks that wait for each other can only finish when two threads work on the job at once.
  std::atomic<int> arrived{0};
  executor.run(2, 2, [&](std::int64_t) {
    ++arrived;
    while (arrived.load() < 2) std::this_thread::yield();
  });
  EXPECT_EQ(arrived.load(), 2);

  std::atomic<int> inside{0}, most{0};
  executor.run(64, 2, [&](std::int64_t) {
    const int now = ++inside;
    for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    --inside;
  });
  EXPECT_LE(most.load(), 2) << "at most `threads` threads on one job";
}

TEST(Executor, AFailingTaskIsRethrownAfterTheOthersEnded) {
  Executor executor(2);
  std::atomic<int> ended{0};
  EXPECT_THROW(executor.run(50, 3,
                            [&](std::int64_t i) {
                              if (i == 7) throw std::runtime_error("task 7");
                              ++ended;
                            }),
               std::runtime_error);
  EXPECT_EQ(ended.load(), 49);
  // The executor is usable afterwards.
  std::atomic<int> runs{0};
  executor.run(10, 3, [&](std::int64_t) { ++runs; });
  EXPECT_EQ(runs.load(), 10);
}

// A system that runs out of threads part way: the executor keeps those it started, instead of
// ending the process with threads left joinable, and its jobs still finish.
TEST(Executor, GoesOnWithTheHelpersThatCouldStart) {
  for (const int startable : {0, 2}) {
    int started = 0;
    Executor executor(5, [&](std::function<void()> body) {
      if (started == startable) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      }
      ++started;
      return std::thread(std::move(body));
    });
    EXPECT_EQ(executor.helperCount(), startable);
    std::atomic<int> runs{0};
    executor.run(100, 6, [&](std::int64_t) { ++runs; });
    EXPECT_EQ(runs.load(), 100) << startable << " helpers started";
  }
}

// Threads of a batch: two callers with jobs of their own and a third that lends itself until
// both are done, as an image worker does once no image is left for it.
TEST(Executor, CallersShareLentThreads) {
  Executor executor;
  std::atomic<int> finishedCallers{0};
  std::atomic<int> total{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < 2; ++c) {
    callers.emplace_back([&] {
      for (int job = 0; job < 20; ++job) executor.run(30, 3, [&](std::int64_t) { ++total; });
      ++finishedCallers;
      executor.wake();
    });
  }
  std::thread lent([&] { executor.help([&] { return finishedCallers.load() == 2; }); });
  for (std::thread& caller : callers) caller.join();
  lent.join();
  EXPECT_EQ(total.load(), 2 * 20 * 30);
}

}  // namespace
}  // namespace superpixels
