#pragma once

#include <functional>
#include <memory>

namespace superpixels {

class Executor;

/// Threads that calls of segment() and writeResults() share, so that a program segmenting many
/// images starts its threads once instead of on every call. A pool of `threads` threads holds
/// threads - 1 helper threads: the thread that makes a call is always the other worker, so a call
/// finishes even when every helper is busy with other calls. Results never depend on the pool or
/// on the number of its threads.
///
/// Safe to share: several threads may make calls on one pool at once (their parts take turns on
/// the helpers). Movable, not copyable; the pool must outlive the calls that use it, and its
/// destruction stops and joins its helpers. A moved-from pool may only be destroyed or assigned to.
///
/// fork(): the child of a process gets none of the pool's helpers. Calls made on the pool in the
/// child run on the calling thread alone, to the same results.
class ThreadPool {
 public:
  /// `threads`: 0 for one per CPU the process may use, else 1 (the caller alone, no helper) to
  /// maxThreads. Throws std::invalid_argument outside that range. When the system cannot start
  /// every helper, the pool goes on with those it could start.
  explicit ThreadPool(int threads = 0);
  /// Stops and joins the helpers.
  ~ThreadPool();
  /// Takes over the helpers of another pool, which may then only be destroyed or assigned to.
  ThreadPool(ThreadPool&&) noexcept;
  /// Takes over the helpers of another pool, as the move constructor does; this pool's own helpers
  /// are stopped and joined.
  ThreadPool& operator=(ThreadPool&&) noexcept;
  /// Not copyable: a pool's helpers are its own.
  ThreadPool(const ThreadPool&) = delete;
  /// Not copyable: a pool's helpers are its own.
  ThreadPool& operator=(const ThreadPool&) = delete;

  /// The threads a call may use at most: the helpers that started, and the caller.
  int threads() const;

  /// The number of threads `threads` stands for, as the constructor and Options::threads read it:
  /// itself, or for 0 one per hardware thread.
  static int threadsFor(int threads);

  /// For programs that run calls on threads of their own (a batch of images on several workers):
  /// lends the calling thread to the calls in progress on the pool until `finished()` is true. It
  /// is checked whenever there is nothing to do and after each part of a call; call wake() once it
  /// may have become true.
  void help(const std::function<bool()>& finished);
  /// Makes the threads in help() check their `finished` condition.
  void wake();

  /// The pool that segment() uses when given none: made on the first call that may use more than
  /// one thread, with one thread per CPU the process may use, and kept for the rest of the process
  /// (never destroyed, so that no exit waits for its threads). In a child made by fork() it has no
  /// helpers, as any pool made before the fork: calls there run on the calling thread.
  static ThreadPool& shared();

 private:
  friend Executor& executorOf(ThreadPool& pool);
  std::unique_ptr<Executor> executor_;
};

}  // namespace superpixels
