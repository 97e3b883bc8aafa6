#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace superpixels {

// Runs the parts of a job on the calling thread and on whichever helper threads are free, so that
// one image can use several cores. A job is `count` independent tasks numbered 0 .. count - 1;
// callers make results independent of the number of threads by writing task i's output to slot i
// and joining the slots in order afterwards, never by accumulating across tasks.
//
// The calling thread always works on its own job, so a job finishes even when no helper is free
// (or there is none at all): helpers only speed it up. Several threads may run jobs on one
// executor at once (the images of a batch); a free helper takes a task of the oldest job that
// still has tasks and room for another thread.
//
// Order: a job's tasks are handed out in increasing order of i, and a task once handed out runs
// at once, to its end, on the thread that took it. So a task may wait for an earlier task of its
// own job, which has begun on some thread and will end, but never for a later one. The result
// writers rely on this: the PNG tasks wait for the label file's task (task 0) to give them the
// label text's checksum.
//
// In a child made by fork() the executor's helpers do not exist and its mutex may have been
// copied locked by one of them: jobs there run on their callers alone, without the mutex.
class Executor {
 public:
  // Starts a thread that runs `body`, or throws as std::thread does when the system has none to
  // give.
  using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

  // An executor without helpers of its own: jobs run on their callers and on threads that lend
  // themselves through `help`.
  Executor();
  // An executor with up to `helpers` threads of its own, stopped and joined on destruction. When
  // the system cannot start them all, it goes on with those it could start (maybe none): jobs
  // then take longer, with the same results.
  explicit Executor(int helpers);
  // Test seam: the same, with helper threads started by `start`, so that tests can make a start
  // fail as a system without threads to give does.
  Executor(int helpers, const ThreadStarter& start);
  ~Executor();
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;

  // Runs task(i) for every i in 0 .. count - 1 and returns when all have run. At most `threads`
  // threads work on the job at once, the caller included (1: the caller alone). An exception
  // thrown by a task is rethrown here once every started task has ended.
  void run(std::int64_t count, int threads, const std::function<void(std::int64_t)>& task);

  // Lends the calling thread to the executor's jobs until `finished()` is true, checked whenever
  // there is nothing to do and after every task; `wake()` must be called when it may have become
  // true.
  void help(const std::function<bool()>& finished);
  // Wakes the lent threads so that they check their condition.
  void wake();

  // The helper threads of its own that started.
  int helperCount() const { return static_cast<int>(threads_.size()); }
  // False in a child made by fork() after the executor was made.
  bool inMakingProcess() const;

 private:
  struct Job {
    const std::function<void(std::int64_t)>* task = nullptr;
    std::int64_t count = 0;
    int maxThreads = 1;
    std::atomic<std::int64_t> next{0};  // the next task to hand out
    std::atomic<int> working{0};        // threads on the job, changed under mutex_
    std::exception_ptr failure;         // the first exception, under mutex_
  };

  // Runs tasks of `job` until none is left; the thread has been counted in job.working.
  void work(Job& job);
  // A job with a task left and room for another thread, or null; under mutex_.
  Job* jobToHelp();

  // Idle threads spin briefly before they sleep, watching `events_`, and the caller of a job
  // waits for its helpers the same way: the jobs of one image come in quick succession, and a
  // sleeping thread took longer to wake than many a task takes. Not while the machine is crowded
  // (see crowded()): a spinning thread then holds a CPU that another thread, maybe the helper it
  // waits for, could use.
  void spinWhile(const std::function<bool()>& waiting);
  // Whether more threads were runnable than the machine has CPUs, the last time it was looked at;
  // looked at again when that was more than a few milliseconds ago.
  bool crowded();

  std::mutex mutex_;
  std::condition_variable changed_;       // a job was posted or finished, or a condition may hold
  // Counts posts and wakes, for spinning threads; changed under mutex_ only, so that a thread
  // that finds it unchanged under mutex_ and waits on `changed_` cannot miss the notification.
  std::atomic<std::uint64_t> events_{0};
  std::deque<Job*> jobs_;                 // jobs with tasks possibly left, oldest first
  bool stopping_ = false;
  std::vector<std::thread> threads_;
  std::uint64_t madeIn_;  // forks that had made the process that made it
  std::atomic<std::int64_t> crowdSeenAt_{0};  // steady-clock nanoseconds of the last look, 0: none
  std::atomic<bool> crowded_{false};
};

// Threads for `requested` (0: one per CPU this process may use, see usableCpus()).
int threadsFor(int requested);

// The CPUs this process may use, as found on the first call and kept for the rest of the process:
// those of its affinity mask (taskset, a container's cpuset), fewer when a cgroup v2 CPU quota on
// its group or one above allows less (rounded up: a quota of 1.5 CPUs is 2 threads), at least 1.
// More threads than that only take turns on the same CPUs.
int usableCpus();

// The CPUs a cgroup v2 "cpu.max" file allows: its quota over its period rounded up ("150000
// 100000" is 2), 0 for no limit ("max 100000") or for contents that are not two such numbers.
int cpusOfQuota(std::string_view cpuMax);

// The threads runnable on the whole machine at the moment that /proc/loadavg's contents were read
// (its fourth field, "RUNNABLE/EXISTING"), the reader included; 0 for contents it cannot read.
int runnableOfLoadavg(std::string_view loadavg);

}  // namespace superpixels
