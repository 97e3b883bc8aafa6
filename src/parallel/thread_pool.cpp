#include "superpixels/thread_pool.hpp"

#include <atomic>
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

int ThreadPool::threads() const { return executorOrThrow(executor_).helperCount() + 1; }

void ThreadPool::help(const std::function<bool()>& finished) {
  executorOrThrow(executor_).help(finished);
}

void ThreadPool::wake() { executorOrThrow(executor_).wake(); }

ThreadPool& ThreadPool::shared() {
  // Made on first use and never destroyed: threads still running at exit would make it wait, and
  // a forked child has none of the threads to join. A child makes a pool of its own; the
  // parent's, which it cannot stop, stays as it is. Two first users at once may both make one:
  // the one that comes second destroys its own and takes the first's.
  static std::atomic<ThreadPool*> current{nullptr};
  ThreadPool* pool = current.load(std::memory_order_acquire);
  while (pool == nullptr || !pool->executor_->inMakingProcess()) {
    auto* made = new ThreadPool(0);
    if (current.compare_exchange_strong(pool, made, std::memory_order_acq_rel)) return *made;
    delete made;  // `pool` is now the one another thread made
  }
  return *pool;
}

Executor& executorOf(ThreadPool& pool) { return executorOrThrow(pool.executor_); }

}  // namespace superpixels
