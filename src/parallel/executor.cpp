#include "parallel/executor.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <string>

#include "superpixels/superpixels.hpp"

namespace superpixels {

namespace {

// Counts the forks that made this process, so that an executor knows whether its helpers are here.
// Kept by a fork handler rather than asked of getpid(): a system call on every job cost a call of
// a small image several per cent.
std::atomic<std::uint64_t> forks{0};

std::uint64_t forksSoFar() {
  static const bool counted = [] {
    ::pthread_atfork(nullptr, nullptr, [] { forks.fetch_add(1, std::memory_order_relaxed); });
    return true;
  }();
  (void)counted;
  return forks.load(std::memory_order_relaxed);
}

// The first few kilobytes of a small system file such as /proc/self/cgroup, empty when it
// cannot be read.
std::string readSmallFile(const std::string& path) {
  const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return {};
  char buffer[4096];
  const ssize_t size = ::read(file, buffer, sizeof buffer);
  ::close(file);
  return size > 0 ? std::string(buffer, static_cast<std::size_t>(size)) : std::string();
}

}  // namespace

int threadsFor(int requested) {
  if (requested > 0) return requested;
  return std::clamp(usableCpus(), 1, maxThreads);
}

int cpusOfQuota(std::string_view cpuMax) {
  // "QUOTA PERIOD\n" in microseconds, or "max PERIOD\n".
  const auto number = [&](std::int64_t& value) {
    const auto [end, error] = std::from_chars(cpuMax.data(), cpuMax.data() + cpuMax.size(), value);
    if (error != std::errc() || end == cpuMax.data()) return false;
    cpuMax.remove_prefix(static_cast<std::size_t>(end - cpuMax.data()));
    return true;
  };
  std::int64_t quota = 0, period = 0;
  if (!number(quota) || cpuMax.empty() || cpuMax.front() != ' ') return 0;
  cpuMax.remove_prefix(1);
  if (!number(period) || (!cpuMax.empty() && cpuMax != "\n")) return 0;
  if (quota <= 0 || period <= 0) return 0;
  const std::int64_t cpus = quota / period + (quota % period != 0 ? 1 : 0);
  return static_cast<int>(std::min<std::int64_t>(cpus, maxThreads));
}

int runnableOfLoadavg(std::string_view loadavg) {
  // "0.52 0.58 0.59 3/467 12345\n": three load averages, then runnable/existing threads.
  for (int field = 0; field < 3; ++field) {
    const std::size_t space = loadavg.find(' ');
    if (space == std::string_view::npos) return 0;
    loadavg.remove_prefix(space + 1);
  }
  int runnable = 0;
  const auto [end, error] =
      std::from_chars(loadavg.data(), loadavg.data() + loadavg.size(), runnable);
  if (error != std::errc() || end == loadavg.data() || end == loadavg.data() + loadavg.size() ||
      *end != '/' || runnable < 0) {
    return 0;
  }
  return runnable;
}

int usableCpus() {
  static const int cpus = [] {
    int count = static_cast<int>(std::thread::hardware_concurrency());
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
      count = CPU_COUNT(&set);
    }
    // The process's cgroup ("0::/PATH" in /proc/self/cgroup, among the lines of v1 controllers
    // on a system that has them too) and each group above it may carry a quota; the smallest
    // one binds.
    const std::string groups = readSmallFile("/proc/self/cgroup");
    const std::size_t line = groups.compare(0, 4, "0::/") == 0 ? 0 : groups.find("\n0::/");
    if (line != std::string::npos) {
      const std::size_t start = line + (line == 0 ? 3 : 4);
      std::string group = groups.substr(start, groups.find('\n', start) - start);
      for (;;) {
        const int quota = cpusOfQuota(readSmallFile("/sys/fs/cgroup" + group + "/cpu.max"));
        if (quota > 0) count = std::min(count, quota);
        if (group.empty() || group == "/") break;
        group.erase(group.rfind('/'));
      }
    }
    return std::max(count, 1);
  }();
  return cpus;
}

Executor::Executor(int helpers)
    : Executor(helpers, [](std::function<void()> body) { return std::thread(std::move(body)); }) {}

Executor::Executor() : madeIn_(forksSoFar()) {}

Executor::Executor(int helpers, const ThreadStarter& start) : madeIn_(forksSoFar()) {
  if (helpers <= 0) return;
  // Room for every thread first: a started thread must never be dropped joinable (that ends the
  // process), as it would be were push_back to fail.
  threads_.reserve(static_cast<std::size_t>(helpers));
  for (int i = 0; i < helpers; ++i) {
    try {
      threads_.push_back(start([this] { help([this] { return stopping_; }); }));
    } catch (...) {
      // Out of threads (or memory for one): the threads started are enough, since callers work on
      // their own jobs.
      break;
    }
  }
}

Executor::~Executor() {
  if (!inMakingProcess()) {
    // A forked child: the helpers are the parent's, not to be stopped or joined from here (the
    // mutex may be held for ever), and a joinable std::thread must not be destroyed. They are
    // left as they are, with the little memory their handles take.
    new std::vector<std::thread>(std::move(threads_));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    events_.fetch_add(1, std::memory_order_release);
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void Executor::work(Job& job) {
  for (;;) {
    const std::int64_t i = job.next.fetch_add(1, std::memory_order_relaxed);
    if (i >= job.count) break;
    try {
      (*job.task)(i);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!job.failure) job.failure = std::current_exception();
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  --job.working;
  changed_.notify_all();
}

Executor::Job* Executor::jobToHelp() {
  for (Job* job : jobs_) {
    if (job->next.load(std::memory_order_relaxed) < job->count && job->working < job->maxThreads) {
      return job;
    }
  }
  return nullptr;
}

bool Executor::inMakingProcess() const { return forksSoFar() == madeIn_; }

void Executor::run(std::int64_t count, int threads, const std::function<void(std::int64_t)>& task) {
  if (count <= 0) return;
  if (!inMakingProcess()) {
    // A forked child: nobody else works here, and the mutex may be held for ever.
    std::exception_ptr failure;
    for (std::int64_t i = 0; i < count; ++i) {
      try {
        task(i);
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
    if (failure) std::rethrow_exception(failure);
    return;
  }
  Job job;
  job.task = &task;
  job.count = count;
  job.maxThreads = std::max(1, threads);
  job.working = 1;  // the caller
  const bool shared = job.maxThreads > 1 && count > 1;
  if (shared) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs_.push_back(&job);
      events_.fetch_add(1, std::memory_order_release);
    }
    changed_.notify_all();
  }
  work(job);
  if (shared) spinWhile([&] { return job.working.load(std::memory_order_acquire) != 0; });
  std::unique_lock<std::mutex> lock(mutex_);
  if (shared) jobs_.erase(std::find(jobs_.begin(), jobs_.end(), &job));
  // Tasks handed out to helpers may still be running.
  changed_.wait(lock, [&] { return job.working == 0; });
  if (job.failure) std::rethrow_exception(job.failure);
}

void Executor::help(const std::function<bool()>& finished) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (finished()) return;
    if (Job* job = jobToHelp()) {
      ++job->working;
      lock.unlock();
      work(*job);
      lock.lock();
      continue;
    }
    const std::uint64_t seen = events_.load(std::memory_order_acquire);
    lock.unlock();
    spinWhile([&] { return events_.load(std::memory_order_acquire) == seen; });
    lock.lock();
    // Anything posted or woken while the lock was free has counted an event; anything after this
    // check notifies the wait.
    if (events_.load(std::memory_order_acquire) == seen) changed_.wait(lock);
  }
}

void Executor::wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.fetch_add(1, std::memory_order_release);
  }
  changed_.notify_all();
}

bool Executor::crowded() {
  // Looked at every few milliseconds at most: reading the file costs a few microseconds, about
  // what a job of a small image takes.
  constexpr std::int64_t interval = 4'000'000;
  const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
  std::int64_t seenAt = crowdSeenAt_.load(std::memory_order_relaxed);
  if ((seenAt != 0 && now - seenAt < interval) ||
      !crowdSeenAt_.compare_exchange_strong(seenAt, now, std::memory_order_relaxed)) {
    return crowded_.load(std::memory_order_relaxed);
  }
  // The machine's CPUs, not only this process's: the count is the whole machine's.
  static const long cpus = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
  const bool crowd = runnableOfLoadavg(readSmallFile("/proc/loadavg")) > cpus;
  crowded_.store(crowd, std::memory_order_relaxed);
  return crowd;
}

void Executor::spinWhile(const std::function<bool()>& waiting) {
  if (crowded()) return;
  // About 50 microseconds: longer than the gap between two jobs of one image's refinement pass,
  // short against anything a thread would otherwise do.
  constexpr auto spin = std::chrono::microseconds(50);
  const auto until = std::chrono::steady_clock::now() + spin;
  for (int round = 1; waiting(); ++round) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
    if (round % 64 == 0 && std::chrono::steady_clock::now() >= until) return;
  }
}

}  // namespace superpixels
