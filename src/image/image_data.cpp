#include "image/image_data.hpp"

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/image_header.hpp"

namespace superpixels {

namespace {

// Why `bgr` cannot be segmented, or empty when it can.
std::string unusableReason(const cv::Mat& bgr) {
  if (bgr.empty()) return "image is empty";
  if (bgr.dims != 2) return "image is not two-dimensional";
  if (bgr.type() != CV_8UC3) return "image is not 8-bit with 3 channels";
  if (static_cast<std::int64_t>(bgr.cols) * bgr.rows > maxPixelCount) {
    return "image has " + std::to_string(bgr.cols) + " x " + std::to_string(bgr.rows) +
           " pixels, more than 2147483647";
  }
  return {};
}

std::string overLimit(std::int64_t width, std::int64_t height, std::int64_t maxPixels) {
  return "image is " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels, more than the limit of " + std::to_string(maxPixels);
}

// OpenCV builds its Lab conversion tables on first use without a lock: two threads converting
// their first images at once each build them, and one can read tables the other is still filling.
// Converting one pixel under the thread-safe initialisation of a local static builds them before
// any image is converted.
void buildLabTablesOnce() {
  static const bool built = [] {
    const cv::Mat pixel(1, 1, CV_8UC3, cv::Scalar::all(0));
    cv::Mat lab;
    cv::cvtColor(pixel, lab, cv::COLOR_BGR2Lab);
    return true;
  }();
  (void)built;
}

}  // namespace

ImageData makeImageData(const cv::Mat& bgr, std::string sourcePath) {
  if (const std::string why = unusableReason(bgr); !why.empty()) throw std::invalid_argument(why);
  ImageData image;
  image.sourcePath = std::move(sourcePath);
  image.sourceImage = bgr;
  buildLabTablesOnce();
  cv::cvtColor(bgr, image.labImage, cv::COLOR_BGR2Lab);
  image.width = bgr.cols;
  image.height = bgr.rows;
  return image;
}

LoadStatus loadImage(const std::string& path, ImageData& image, std::int64_t maxPixels) {
  const ImageHeader header = readImageHeader(path);
  if (!header.ok) return {false, "cannot decode image: " + header.reason};
  // Each side alone first: the product of two 32-bit sizes may not fit in 64 bits.
  if (header.width > maxPixels || header.height > maxPixels ||
      header.width * header.height > maxPixels) {
    return {false, overLimit(header.width, header.height, maxPixels)};
  }
  cv::Mat bgr;
  try {
    bgr = cv::imread(path, cv::IMREAD_COLOR);
  } catch (const cv::Exception& e) {
    return {false, "cannot decode image (" + e.msg + ")"};
  }
  if (bgr.empty()) return {false, "cannot decode image"};
  if (const std::string why = unusableReason(bgr); !why.empty()) return {false, why};
  if (static_cast<std::int64_t>(bgr.cols) * bgr.rows > maxPixels) {
    return {false, overLimit(bgr.cols, bgr.rows, maxPixels)};
  }
  image = makeImageData(bgr, path);
  return {true, {}};
}

}  // namespace superpixels
