#include "parallel/executor.hpp"

#include <pthread.h>

#include <algorithm>
#include <chrono>

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

}  // namespace

int threadsFor(int requested) {
  if (requested > 0) return requested;
  return static_cast<int>(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, maxThreads));
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

void Executor::spinWhile(const std::function<bool()>& waiting) const {
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
