#include "image/image_data.hpp"

#include <algorithm>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

namespace superpixels {

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

namespace {

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

ImageData makeImageData(const cv::Mat& bgr, const cv::Mat& mask, Executor* executor, int threads) {
  if (const std::string why = unusableReason(bgr); !why.empty()) throw std::invalid_argument(why);
  if (!mask.empty()) {
    if (mask.dims != 2 || mask.type() != CV_8UC1) {
      throw std::invalid_argument("mask is not 8-bit with one channel");
    }
    if (mask.size() != bgr.size()) {
      throw std::invalid_argument("mask is " + std::to_string(mask.cols) + " x " +
                                  std::to_string(mask.rows) + " pixels, the image " +
                                  std::to_string(bgr.cols) + " x " + std::to_string(bgr.rows));
    }
  }
  ImageData image;
  image.sourceImage = bgr;
  image.mask = mask;
  buildLabTablesOnce();
  if (executor == nullptr || threads <= 1) {
    cv::cvtColor(bgr, image.labImage, cv::COLOR_BGR2Lab);
  } else {
    // Pixel by pixel: bands of rows give the same bytes as the whole image at once.
    image.labImage.create(bgr.size(), CV_8UC3);
    constexpr int rowsPerBand = 64;
    executor->run((bgr.rows + rowsPerBand - 1) / rowsPerBand, threads, [&](std::int64_t band) {
      const cv::Range rows(static_cast<int>(band) * rowsPerBand,
                           std::min(bgr.rows, static_cast<int>(band + 1) * rowsPerBand));
      cv::Mat out = image.labImage.rowRange(rows);
      cv::cvtColor(bgr.rowRange(rows), out, cv::COLOR_BGR2Lab);
    });
  }
  image.width = bgr.cols;
  image.height = bgr.rows;
  image.insideCount = mask.empty() ? static_cast<std::int64_t>(bgr.cols) * bgr.rows
                                   : static_cast<std::int64_t>(cv::countNonZero(mask));
  return image;
}

}  // namespace superpixels
