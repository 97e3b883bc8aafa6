// The executor that splits one image's work over threads: every task runs once, whoever runs
// it; failures come back to the caller; jobs of several callers share the helpers.

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "parallel/executor.hpp"
#include "superpixels/superpixels.hpp"

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

// The default number of threads follows a cgroup's CPU quota: a container limited to 1.5 CPUs
// gets 2 threads, not one per CPU of the host. What the file may hold, sound or not.
TEST(Executor, CpuQuotaOfACgroupFile) {
  const struct {
    const char* contents;
    int cpus;
  } cases[] = {
      {"max 100000\n", 0},
      {"200000 100000\n", 2},
      {"150000 100000\n", 2},
      {"50000 100000", 1},
      {"1 100000\n", 1},
      {"400000 100000\n", 4},
      {"", 0},
      {"\n", 0},
      {"100000\n", 0},
      {"-1 100000\n", 0},
      {"100000 0\n", 0},
      {"100000 -5\n", 0},
      {"100000  100000\n", 0},
      {"100000 100000 7\n", 0},
      {"abc 100000\n", 0},
      {"99999999999999999999 1\n", 0},
      {"9000000000 1\n", maxThreads},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cpusOfQuota(c.contents), c.cpus) << '"' << c.contents << '"';
  }
  EXPECT_GE(usableCpus(), 1);
  EXPECT_EQ(threadsFor(0), std::min(usableCpus(), static_cast<int>(maxThreads)));
}

// Idle helpers stop spinning when more threads are runnable than there are CPUs, as read from
// /proc/loadavg; contents it cannot read count as an idle machine.
TEST(Executor, RunnableThreadsOfLoadavg) {
  const struct {
    const char* contents;
    int runnable;
  } cases[] = {
      {"0.52 0.58 0.59 3/467 12345\n", 3},
      {"7.24 4.41 3.10 18/174 9253\n", 18},
      {"0.00 0.00 0.00 1/1 1", 1},
      {"", 0},
      {"0.52 0.58 0.59", 0},
      {"0.52 0.58 0.59 3", 0},
      {"0.52 0.58 0.59 x/467 1\n", 0},
      {"0.52 0.58 0.59 -3/467 1\n", 0},
      {"0.52 0.58 3/467 1\n", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(runnableOfLoadavg(c.contents), c.runnable) << '"' << c.contents << '"';
  }
}

}  // namespace
}  // namespace superpixels
