#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace superpixels::bench {

// What the header check costs next to the decoder, for one kind of file: the photos encoded by
// OpenCV's own encoder (JPEG, PNG, TIFF with LZW, WebP lossy or lossless) and read back, medians
// over the photos of the fastest of `repeat` runs each. Beside it, the check of the compressed data
// (libjpeg, libpng, libtiff) and readImage as a whole, against cv::imread alone.
struct HeaderCost {
  std::string format;  // "TIFF (LZW)", ...
  int files = 0;
  double medianBytes = 0.0;    // file size
  double headerSeconds = 0.0;  // readImageHeader: format, size, completeness
  double decodeSeconds = 0.0;  // cv::imread(path, IMREAD_COLOR)
  double dataCheckSeconds = 0.0;  // imageDataDamage on the file's bytes in memory
  double readImageSeconds = 0.0;  // readImage: open, header, bounded read, data check, decoding
};

// Encodes every photo (decoded, BGR) in each format into `folder` and times the header check and
// the decoder on the files.
std::vector<HeaderCost> measureHeaderCost(const std::vector<cv::Mat>& photos,
                                          const std::string& folder, int repeat);

// A Markdown table of the figures, one row per format, `label` naming the photos.
void printHeaderCost(std::ostream& out, const std::string& label,
                     const std::vector<HeaderCost>& costs);

}  // namespace superpixels::bench
