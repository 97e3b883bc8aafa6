#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "image/neighbours.hpp"

namespace superpixels {

// One decoded image and its Lab copy. Pixel index p = y * width + x, row 0 at the top.
struct ImageData {
  std::string sourcePath;  // empty for images that did not come from a file
  cv::Mat sourceImage;     // 8-bit, 3 channels, blue-green-red
  cv::Mat labImage;        // 8-bit Lab of the same size: L scaled to 0..255, a and b offset by 128
  std::int32_t width = 0;
  std::int32_t height = 0;

  NeighbourList neighbours(std::int32_t p) const { return neighbourList(p, width, height); }

  // The three Lab bytes of pixel p.
  const std::uint8_t* lab(std::int32_t p) const { return lab(p % width, p / width); }
  // The three Lab bytes of the pixel at column x, row y.
  const std::uint8_t* lab(std::int32_t x, std::int32_t y) const {
    return labImage.ptr<std::uint8_t>(y) + 3 * x;
  }
};

// Largest pixel count an image may have: pixel indices are 32-bit signed integers.
constexpr std::int64_t maxPixelCount = 2147483647;

// Builds the record from an already decoded image, converting it to Lab. Throws
// std::invalid_argument when `bgr` is empty, not 8-bit 3-channel, or has too many pixels. The
// pixels are shared with `bgr`, not copied.
ImageData makeImageData(const cv::Mat& bgr, std::string sourcePath = {});

// Outcome of reading an image file.
struct LoadStatus {
  bool ok = false;
  std::string reason;  // why the file could not be used, when !ok
};

// Decodes the file at `path` into three 8-bit channels and fills `image` (Lab copy included). The
// header is read first: a file that is not a PNG, JPEG, BMP or PNM image, or whose header declares
// more than `maxPixels` pixels, is refused before any pixel memory is allocated. An undecodable or
// oversized file leaves `image` untouched and returns the reason.
LoadStatus loadImage(const std::string& path, ImageData& image,
                     std::int64_t maxPixels = maxPixelCount);

}  // namespace superpixels
