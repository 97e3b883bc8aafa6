#include "superpixels/thread_pool.hpp"

#include <stdexcept>
#include <string>

#include "parallel/executor.hpp"
#include "parallel/thread_pool_access.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

namespace {

Executor& executorOrThrow(const std::unique_ptr<Executor>& executor) {
  if (!executor) throw std::logic_error("a moved-from ThreadPool was used");
  return *executor;
}

}  // namespace

ThreadPool::ThreadPool(int threads) {
  if (threads < 0 || threads > maxThreads) {
    throw std::invalid_argument("threads " + std::to_string(threads) +
                                " is not a whole number from 0 to " + std::to_string(maxThreads));
  }
  executor_ = std::make_unique<Executor>(threadsFor(threads) - 1);
}

ThreadPool::~ThreadPool() = default;
ThreadPool::ThreadPool(ThreadPool&&) noexcept = default;
ThreadPool& ThreadPool::operator=(ThreadPool&&) noexcept = default;

int ThreadPool::threadsFor(int threads) { return superpixels::threadsFor(threads); }

int ThreadPool::threads() const {
  const Executor& executor = executorOrThrow(executor_);
  return executor.inMakingProcess() ? executor.helperCount() + 1 : 1;
}

void ThreadPool::help(const std::function<bool()>& finished) {
  executorOrThrow(executor_).help(finished);
}

void ThreadPool::wake() { executorOrThrow(executor_).wake(); }

ThreadPool& ThreadPool::shared() {
  // Never destroyed: threads still working at exit would make the exit wait, and a forked child,
  // which has none of the threads, must not try to join them. Such a child runs its calls on the
  // calling thread alone and starts no thread of its own (what a child of a process with threads
  // may safely do is little).
  static ThreadPool* const pool = new ThreadPool(0);
  return *pool;
}

Executor& executorOf(ThreadPool& pool) { return executorOrThrow(pool.executor_); }

}  // namespace superpixels
