#pragma once

#include <thread>

#include <signal.h>

namespace superpixels {

// Ctrl-C (SIGINT), SIGTERM and SIGHUP stop a run cleanly, for as long as an object of this class
// lives. Create it before any other thread of the run starts: it blocks these signals in the
// calling thread, whose threads inherit that, and a thread of its own waits for them. When one
// arrives, it removes the temporary files of the writes in progress (abandonWritesForExit), so
// that the output holds only results that are whole, and ends the process by that same signal,
// whose default action then applies: a shell sees 128 + its number (130, 143, 129). Every result
// already renamed into place stays; a later run with --skip-existing finishes the rest. A signal
// that was ignored when the object was made (a background job's SIGINT, nohup's SIGHUP) stays
// ignored. Linux only (signalfd).
class StopOnSignals {
 public:
  StopOnSignals();
  // Stops the waiting thread and restores the signal mask of the calling thread.
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

 private:
  sigset_t handled_;
  sigset_t previousMask_;
  int signalFd_ = -1;
  int wakeFd_ = -1;  // an eventfd written to by the destructor
  std::thread waiter_;
};

}  // namespace superpixels
