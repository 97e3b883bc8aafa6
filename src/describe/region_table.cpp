// describeRegions of the public describe header.

#include <algorithm>
#include <limits>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

#include "describe/label_index.hpp"
#include "superpixels/describe.hpp"

namespace superpixels {

namespace {

// Sums over one superpixel's pixels. Features are taken relative to the first pixel met, so that
// the sums of products stay small: for integer features they are then exact in double precision
// for any superpixel of less than some 10^9 pixels spread over less than 10^3 pixels.
struct Sums {
  std::int64_t pixels = 0;
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  double origin[5] = {};    // x, y, L, a, b of the first pixel
  double sum[8] = {};       // dx, dy, dL, da, db, then red, green, blue (absolute)
  double products[9] = {};  // xx, xy, yy, LL, La, Lb, aa, ab, bb of the deviations from origin
};

}  // namespace

std::vector<RegionRow> describeRegions(const std::vector<std::int32_t>& labels, std::int32_t width,
                                       std::int32_t height, const cv::Mat& bgr) {
  requireLabelMapSize(labels, width, height);
  const bool colour = !bgr.empty();
  cv::Mat lab;
  if (colour) {
    if (bgr.type() != CV_8UC3 || bgr.cols != width || bgr.rows != height) {
      throw std::invalid_argument("the image is not 8-bit with 3 channels of the labels' size");
    }
    cv::cvtColor(bgr, lab, cv::COLOR_BGR2Lab);
  }
  const LabelIndex index(labels);
  std::vector<Sums> sums(index.count());
  const std::int32_t* at = index.indices().data();
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* pixel = colour ? bgr.ptr<std::uint8_t>(y) : nullptr;
    const std::uint8_t* labPixel = colour ? lab.ptr<std::uint8_t>(y) : nullptr;
    for (std::int32_t x = 0; x < width; ++x, ++at) {
      const std::int32_t i = *at;
      if (i < 0) continue;
      Sums& s = sums[i];
      const double f[5] = {static_cast<double>(x), static_cast<double>(y),
                           colour ? static_cast<double>(labPixel[3 * x]) : 0.0,
                           colour ? static_cast<double>(labPixel[3 * x + 1]) : 0.0,
                           colour ? static_cast<double>(labPixel[3 * x + 2]) : 0.0};
      if (s.pixels == 0) {
        std::copy(f, f + 5, s.origin);
        s.left = s.right = x;
        s.top = s.bottom = y;
      }
      ++s.pixels;
      s.left = std::min(s.left, x);
      s.right = std::max(s.right, x);
      s.bottom = y;  // rows come in ascending order
      double d[5];
      for (int k = 0; k < 5; ++k) d[k] = f[k] - s.origin[k];
      for (int k = 0; k < 5; ++k) s.sum[k] += d[k];
      s.products[0] += d[0] * d[0];
      s.products[1] += d[0] * d[1];
      s.products[2] += d[1] * d[1];
      if (colour) {
        s.sum[5] += pixel[3 * x + 2];
        s.sum[6] += pixel[3 * x + 1];
        s.sum[7] += pixel[3 * x];
        s.products[3] += d[2] * d[2];
        s.products[4] += d[2] * d[3];
        s.products[5] += d[2] * d[4];
        s.products[6] += d[3] * d[3];
        s.products[7] += d[3] * d[4];
        s.products[8] += d[4] * d[4];
      }
    }
  }

  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<RegionRow> rows(sums.size());
  for (std::size_t i = 0; i < sums.size(); ++i) {
    const Sums& s = sums[i];
    RegionRow& row = rows[i];
    const double n = static_cast<double>(s.pixels);
    double mean[5];  // of the deviations
    for (int k = 0; k < 5; ++k) mean[k] = s.sum[k] / n;
    // Sum of (a - mean a)(b - mean b) = sum ab - n mean a mean b, divided by n.
    const auto cov = [&](int product, int a, int b) {
      return (s.products[product] - n * mean[a] * mean[b]) / n;
    };
    row.label = index.label(static_cast<std::int32_t>(i));
    row.pixels = s.pixels;
    row.centroidX = s.origin[0] + mean[0];
    row.centroidY = s.origin[1] + mean[1];
    row.left = s.left;
    row.top = s.top;
    row.width = s.right - s.left + 1;
    row.height = s.bottom - s.top + 1;
    row.covXX = cov(0, 0, 0);
    row.covXY = cov(1, 0, 1);
    row.covYY = cov(2, 1, 1);
    if (colour) {
      row.meanRed = s.sum[5] / n;
      row.meanGreen = s.sum[6] / n;
      row.meanBlue = s.sum[7] / n;
      row.meanL = s.origin[2] + mean[2];
      row.meanA = s.origin[3] + mean[3];
      row.meanB = s.origin[4] + mean[4];
      row.covLL = cov(3, 2, 2);
      row.covLA = cov(4, 2, 3);
      row.covLB = cov(5, 2, 4);
      row.covAA = cov(6, 3, 3);
      row.covAB = cov(7, 3, 4);
      row.covBB = cov(8, 4, 4);
    } else {
      row.meanRed = row.meanGreen = row.meanBlue = nan;
      row.meanL = row.meanA = row.meanB = nan;
      row.covLL = row.covLA = row.covLB = row.covAA = row.covAB = row.covBB = nan;
    }
  }
  return rows;
}

}  // namespace superpixels
