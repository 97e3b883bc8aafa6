#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "superpixels/superpixels.hpp"
#include "superpixels/thread_pool.hpp"

namespace superpixels::bench {

// The result pictures (overlay and partition) of one photo encoded by our PNG encoder and by the
// old one (cv::imencode: libpng's adaptive filters and zlib), alternately, the fastest of `repeat`
// runs of each. Seconds and bytes are for both pictures together.
struct PngEncoding {
  double oldSeconds = 0.0;
  double newSeconds = 0.0;     // one thread
  double newTwoSeconds = 0.0;  // two threads, as the writers use them
  double oldBytes = 0.0;
  double newBytes = 0.0;
};

// Segments `bgr` with `options` and times the encoders on its pictures; in the two-thread runs,
// as writeResults does, the pictures side by side on `pool` (2 threads) and each one's strips too; throws std::runtime_error when the
// new encoder's pixels differ from the picture's.
PngEncoding measurePngEncoding(const cv::Mat& bgr, const Options& options, int repeat,
                               ThreadPool& pool);

// A Markdown table row of the medians over `rows` and of the median ratios new / old, `label`
// naming the images; with `header`, the table's header first.
void printPngEncoding(std::ostream& out, const std::string& label,
                      const std::vector<PngEncoding>& rows, bool header);

}  // namespace superpixels::bench
