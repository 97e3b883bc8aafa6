#include "progress.hpp"

#include <cstdio>
#include <string>

namespace superpixels {

namespace {

// Carriage return, then erase to the end of the line (ANSI), leaving the cursor at column 0.
constexpr const char* eraseLine = "\r\x1b[K";

std::string minutesAndSeconds(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, bool enabled, int total)
    : terminal_(terminal), enabled_(enabled && total > 0), total_(total) {}

void ProgressLine::update(int done) {
  done_ = done;
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (done_ < total_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  show();
}

void ProgressLine::show() {
  if (!enabled_) return;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const double rate = elapsed > 0.0 ? done_ / elapsed : 0.0;
  std::string line =
      "superpixels: " + std::to_string(done_) + "/" + std::to_string(total_) + " images";
  if (done_ > 0 && rate > 0.0) {
    char figures[64];
    std::snprintf(figures, sizeof figures, ", %.1f images/s", rate);
    line += figures;
    if (done_ < total_) line += ", " + minutesAndSeconds((total_ - done_) / rate) + " left";
  }
  terminal_ << eraseLine << line << std::flush;
  visible_ = true;
}

void ProgressLine::clear() {
  if (!visible_) return;
  terminal_ << eraseLine << std::flush;
  visible_ = false;
}

}  // namespace superpixels
