#include "parallel/executor.hpp"

#include <algorithm>

namespace superpixels {

int threadsFor(int requested) {
  if (requested > 0) return requested;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

Executor::Executor(int helpers) {
  for (int i = 0; i < helpers; ++i) {
    threads_.emplace_back([this] { help([this] { return stopping_; }); });
  }
}

Executor::~Executor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
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

void Executor::run(std::int64_t count, int threads, const std::function<void(std::int64_t)>& task) {
  if (count <= 0) return;
  Job job;
  job.task = &task;
  job.count = count;
  job.maxThreads = std::max(1, threads);
  job.working = 1;  // the caller
  const bool shared = job.maxThreads > 1 && count > 1;
  if (shared) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(&job);
  }
  if (shared) changed_.notify_all();
  work(job);
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
    changed_.wait(lock);
  }
}

void Executor::wake() {
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}

}  // namespace superpixels
