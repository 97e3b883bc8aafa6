#include "interruption.hpp"

#include <cstdint>
#include <cstdlib>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "superpixels/io.hpp"

namespace superpixels {

namespace {

// Removes the temporaries of the writes in progress and ends the process by `signal`.
[[noreturn]] void stopBySignal(int signal) {
  abandonWritesForExit();
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  ::sigemptyset(&byDefault.sa_mask);
  ::sigaction(signal, &byDefault, nullptr);
  sigset_t only;
  ::sigemptyset(&only);
  ::sigaddset(&only, signal);
  // Raised for this thread, in which it is now unblocked: the default action ends the process.
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  std::_Exit(128 + signal);  // not reached
}

}  // namespace

StopOnSignals::StopOnSignals() {
  ::sigemptyset(&handled_);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
      ::sigaddset(&handled_, signal);
    }
  }
  ::pthread_sigmask(SIG_BLOCK, &handled_, &previousMask_);
  signalFd_ = ::signalfd(-1, &handled_, SFD_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (signalFd_ < 0 || wakeFd_ < 0) {
    // No way to wait for them: they act as usual, without the cleaning up.
    ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    return;
  }
  waiter_ = std::thread([this] {
    pollfd events[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    for (;;) {
      if (::poll(events, 2, -1) < 0) continue;  // EINTR
      if (events[1].revents != 0) return;
      signalfd_siginfo received;
      if ((events[0].revents & POLLIN) != 0 &&
          ::read(signalFd_, &received, sizeof received) == sizeof received) {
        stopBySignal(static_cast<int>(received.ssi_signo));
      }
    }
  });
}

StopOnSignals::~StopOnSignals() {
  if (waiter_.joinable()) {
    const std::uint64_t one = 1;
    // Cannot fail: the counter is far from its limit.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    waiter_.join();
  }
  if (signalFd_ >= 0) ::close(signalFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
  // A signal that came after the waiter stopped is still pending: unblocked, it acts as usual.
  ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace superpixels
