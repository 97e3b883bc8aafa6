#pragma once

#include <algorithm>
#include <chrono>

namespace superpixels::bench {

// The fastest of `repeat` runs of `run`, in seconds.
template <typename Run>
double fastest(int repeat, Run run) {
  using Clock = std::chrono::steady_clock;
  double best = 0.0;
  for (int r = 0; r < repeat; ++r) {
    const Clock::time_point start = Clock::now();
    run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    best = r == 0 ? seconds : std::min(best, seconds);
  }
  return best;
}

}  // namespace superpixels::bench
