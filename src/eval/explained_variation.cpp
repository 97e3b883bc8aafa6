#include "explained_variation.hpp"

#include <array>
#include <cstdint>
#include <vector>

namespace superpixels::eval {

namespace {

using Sum = std::array<std::int64_t, 3>;

double squaredDistance(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  double d = 0.0;
  for (int c = 0; c < 3; ++c) d += (a[c] - b[c]) * (a[c] - b[c]);
  return d;
}

std::array<double, 3> mean(const Sum& sum, std::int64_t count) {
  const double n = static_cast<double>(count);
  return {static_cast<double>(sum[0]) / n, static_cast<double>(sum[1]) / n,
          static_cast<double>(sum[2]) / n};
}

}  // namespace

double explainedVariation(const LabelImage& image, const cv::Mat& photo) {
  const int w = image.width;
  std::vector<Sum> sums(image.count, Sum{0, 0, 0});
  std::vector<std::int64_t> sizes(image.count, 0);
  Sum total{0, 0, 0};
  for (int y = 0; y < image.height; ++y) {
    const cv::Vec3b* pixel = photo.ptr<cv::Vec3b>(y);
    const std::int32_t* row = image.labels.data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      Sum& sum = sums[row[x]];
      for (int c = 0; c < 3; ++c) sum[c] += pixel[x][c];
      ++sizes[row[x]];
    }
  }
  for (const Sum& sum : sums) {
    for (int c = 0; c < 3; ++c) total[c] += sum[c];
  }
  const std::array<double, 3> overall = mean(total, image.pixelCount());

  double variation = 0.0;
  for (int y = 0; y < image.height; ++y) {
    const cv::Vec3b* pixel = photo.ptr<cv::Vec3b>(y);
    for (int x = 0; x < w; ++x) {
      variation +=
          squaredDistance({double(pixel[x][0]), double(pixel[x][1]), double(pixel[x][2])}, overall);
    }
  }
  if (variation == 0.0) return 1.0;
  double explained = 0.0;
  for (std::int32_t s = 0; s < image.count; ++s) {
    explained += static_cast<double>(sizes[s]) * squaredDistance(mean(sums[s], sizes[s]), overall);
  }
  return explained / variation;
}

}  // namespace superpixels::eval
