// The two pictures of a result, declared in the public I/O header.

#include "superpixels/io.hpp"

namespace superpixels {

cv::Mat boundaryImage(const cv::Mat& bgr, const std::vector<std::int32_t>& labels) {
  const int width = bgr.cols;
  const int height = bgr.rows;
  cv::Mat out(height, width, CV_8UC3, cv::Scalar(0, 0, 0));
  for (int y = 1; y < height; ++y) {
    const std::int32_t* above = labels.data() + static_cast<std::size_t>(y - 1) * width;
    const std::int32_t* row = above + width;
    const cv::Vec3b* in = bgr.ptr<cv::Vec3b>(y);
    cv::Vec3b* o = out.ptr<cv::Vec3b>(y);
    for (int x = 1; x < width; ++x) {
      const std::int32_t l = row[x];
      if (row[x - 1] == l && above[x] == l && above[x - 1] == l) o[x] = in[x];
    }
  }
  return out;
}

cv::Vec3b colourBytes(const Colour& colour) {
  return cv::Vec3b(static_cast<std::uint8_t>(colour.blue * 255.0f),
                   static_cast<std::uint8_t>(colour.green * 255.0f),
                   static_cast<std::uint8_t>(colour.red * 255.0f));
}

cv::Mat partitionImage(const Result& result) {
  // Indexed by label + 1: black for -1, outside the mask.
  std::vector<cv::Vec3b> palette(result.colours.size() + 1, cv::Vec3b(0, 0, 0));
  for (std::size_t i = 0; i < result.colours.size(); ++i) {
    palette[i + 1] = colourBytes(result.colours[i]);
  }
  const cv::Vec3b* shifted = palette.data() + 1;
  cv::Mat out(result.height, result.width, CV_8UC3);
  for (int y = 0; y < result.height; ++y) {
    const std::int32_t* row = result.labels.data() + static_cast<std::size_t>(y) * result.width;
    cv::Vec3b* o = out.ptr<cv::Vec3b>(y);
    for (int x = 0; x < result.width; ++x) o[x] = shifted[row[x]];
  }
  return out;
}

}  // namespace superpixels
