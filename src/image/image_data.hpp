#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "image/neighbours.hpp"
#include "parallel/executor.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// One decoded image and its Lab copy. Pixel index p = y * width + x, row 0 at the top.
struct ImageData {
  cv::Mat sourceImage;  // 8-bit, 3 channels, blue-green-red
  cv::Mat labImage;     // 8-bit Lab of the same size: L scaled to 0..255, a and b offset by 128
  // Empty, or 8-bit with one channel and the image's size: the pixels that take part (non-zero)
  // and those that do not.
  cv::Mat mask;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t insideCount = 0;  // pixels inside the mask: all of them without one

  bool hasMask() const { return !mask.empty(); }
  // True when the pixel at column x, row y takes part.
  bool inside(std::int32_t x, std::int32_t y) const {
    return mask.empty() || mask.ptr<std::uint8_t>(y)[x] != 0;
  }

  // The three Lab bytes of pixel p.
  const std::uint8_t* lab(std::int32_t p) const { return lab(p % width, p / width); }
  // The three Lab bytes of the pixel at column x, row y.
  const std::uint8_t* lab(std::int32_t x, std::int32_t y) const {
    return labImage.ptr<std::uint8_t>(y) + 3 * x;
  }
};

// Builds the record from an already decoded image, converting it to Lab. Throws
// std::invalid_argument when `bgr` is empty, not 8-bit 3-channel, or has more than maxPixelCount
// pixels, or when `mask` is neither empty nor 8-bit one-channel of the image's size. The pixels
// are shared with `bgr` and `mask`, not copied.
// The Lab conversion is split into bands of rows run on `executor` (when given) by up to
// `threads` threads.
ImageData makeImageData(const cv::Mat& bgr, const cv::Mat& mask = cv::Mat(),
                        Executor* executor = nullptr, int threads = 1);

// Why `bgr` cannot be segmented, or empty when it can.
std::string unusableReason(const cv::Mat& bgr);

}  // namespace superpixels
