#pragma once

#include <filesystem>
#include <ostream>
#include <vector>

#include "superpixels/superpixels.hpp"

namespace superpixels::bench {

// The result pictures (overlay and partition) of one photo encoded by our PNG encoder and by the
// old one (cv::imencode: libpng's adaptive filters and zlib), alternately, the fastest of `repeat`
// runs of each. Seconds and bytes are for both pictures together.
struct PngEncoding {
  double oldSeconds = 0.0;
  double newSeconds = 0.0;     // one thread
  double newTwoSeconds = 0.0;  // each picture's strips on two threads
  double oldBytes = 0.0;
  double newBytes = 0.0;
};

// Segments each photo with `options` and times the encoders on its pictures; throws
// std::runtime_error when a photo cannot be read or the new encoder's pixels differ from the
// picture's.
std::vector<PngEncoding> measurePngEncoding(const std::vector<std::filesystem::path>& photos,
                                            const Options& options, int repeat);

// A Markdown table of the medians and of the median ratios new / old.
void printPngEncoding(std::ostream& out, const std::vector<PngEncoding>& rows);

}  // namespace superpixels::bench
