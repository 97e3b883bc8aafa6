#include "large_photo.hpp"

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace superpixels::bench {

cv::Mat makeLargePhoto(const std::string& example, int width, int height) {
  const cv::Mat source = cv::imread(example, cv::IMREAD_COLOR);
  if (source.empty()) throw std::runtime_error(example + ": cannot read the example photo");
  const int tileWidth = (width + 1) / 2;
  const int tileHeight = (height + 1) / 2;
  cv::Mat tile;
  cv::resize(source, tile, cv::Size(tileWidth, tileHeight), 0.0, 0.0, cv::INTER_CUBIC);
  cv::Mat right, below, belowRight;
  cv::flip(tile, right, 1);
  cv::flip(tile, below, 0);
  cv::flip(tile, belowRight, -1);
  cv::Mat top, bottom, whole;
  cv::hconcat(tile, right, top);
  cv::hconcat(below, belowRight, bottom);
  cv::vconcat(top, bottom, whole);
  return whole(cv::Rect(0, 0, width, height)).clone();
}

}  // namespace superpixels::bench
