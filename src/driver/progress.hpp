#pragma once

#include <chrono>
#include <ostream>

namespace superpixels {

// A single line on a terminal, rewritten in place: images done of the total, images per second
// and the time left. Whoever writes other lines to the same terminal calls `clear` first and
// `show` afterwards, so the line never mixes with them. Disabled, it writes nothing at all.
class ProgressLine {
 public:
  ProgressLine(std::ostream& terminal, bool enabled, int total);
  ~ProgressLine() { clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Records that `done` images are finished and redraws the line, at most ten times a second
  // except for the last image.
  void update(int done);
  // Removes the line from the terminal.
  void clear();
  // Draws the line again after `clear`.
  void show();

 private:
  using Clock = std::chrono::steady_clock;

  std::ostream& terminal_;
  bool enabled_;
  bool visible_ = false;
  int total_;
  int done_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastDrawn_{};
};

}  // namespace superpixels
