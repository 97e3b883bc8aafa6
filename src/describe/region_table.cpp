// describeRegions of the public describe header.

#include <algorithm>
#include <limits>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

#include "describe/label_index.hpp"
#include "superpixels/describe.hpp"

namespace superpixels {

namespace {

// Sums over one superpixel's pixels, in integers: every feature is an integer, so the sums are
// exact (positions relative to the first pixel met keep the sums of products within 64 bits for
// any image of at most 2^31 pixels), and only the final divisions round.
struct Sums {
  std::int64_t pixels = 0;
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  std::int32_t originX = 0, originY = 0;
  std::int64_t sum[8] = {};       // dx, dy, L, a, b, red, green, blue
  std::int64_t products[9] = {};  // dx dx, dx dy, dy dy, then LL, La, Lb, aa, ab, bb
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
  const std::int32_t* at = index.indices();
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* pixel = colour ? bgr.ptr<std::uint8_t>(y) : nullptr;
    const std::uint8_t* labPixel = colour ? lab.ptr<std::uint8_t>(y) : nullptr;
    const std::int32_t* row = at + static_cast<std::size_t>(y) * width;
    // Run by run: a superpixel's pixels mostly follow each other along a row, and the position
    // sums of a run have closed forms.
    for (std::int32_t x = 0; x < width;) {
      const std::int32_t i = row[x];
      std::int32_t end = x + 1;
      while (end < width && row[end] == i) ++end;
      if (i < 0) {
        x = end;
        continue;
      }
      Sums& s = sums[i];
      if (s.pixels == 0) {
        s.originX = s.left = s.right = x;
        s.originY = s.top = y;
      }
      const std::int64_t n = end - x;
      s.pixels += n;
      s.left = std::min(s.left, x);
      s.right = std::max(s.right, end - 1);
      s.bottom = y;  // rows come in ascending order
      // dx runs from a to b: its sum and the sum of its squares.
      const std::int64_t a = x - s.originX, b = end - 1 - s.originX;
      const std::int64_t dy = y - s.originY;
      const std::int64_t sumDx = (a + b) * n / 2;
      const std::int64_t squares = (b * (b + 1) * (2 * b + 1) - (a - 1) * a * (2 * a - 1)) / 6;
      s.sum[0] += sumDx;
      s.sum[1] += dy * n;
      s.products[0] += squares;
      s.products[1] += sumDx * dy;
      s.products[2] += dy * dy * n;
      if (colour) {
        for (std::int32_t u = x; u < end; ++u) {
          const std::int64_t L = labPixel[3 * u], A = labPixel[3 * u + 1], B = labPixel[3 * u + 2];
          s.sum[2] += L;
          s.sum[3] += A;
          s.sum[4] += B;
          s.sum[5] += pixel[3 * u + 2];
          s.sum[6] += pixel[3 * u + 1];
          s.sum[7] += pixel[3 * u];
          s.products[3] += L * L;
          s.products[4] += L * A;
          s.products[5] += L * B;
          s.products[6] += A * A;
          s.products[7] += A * B;
          s.products[8] += B * B;
        }
      }
      x = end;
    }
  }

  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<RegionRow> rows(sums.size());
  for (std::size_t i = 0; i < sums.size(); ++i) {
    const Sums& s = sums[i];
    RegionRow& row = rows[i];
    const double n = static_cast<double>(s.pixels);
    // (sum ab - sum a sum b / n) / n, with the numerator n sum ab - sum a sum b exact in integers
    // as long as it fits (in 128 bits here).
    const auto cov = [&](int product, int a, int b) {
      const __int128 numerator = static_cast<__int128>(s.pixels) * s.products[product] -
                                 static_cast<__int128>(s.sum[a]) * s.sum[b];
      return static_cast<double>(numerator) / (n * n);
    };
    row.label = index.label(static_cast<std::int32_t>(i));
    row.pixels = s.pixels;
    row.centroidX = s.originX + static_cast<double>(s.sum[0]) / n;
    row.centroidY = s.originY + static_cast<double>(s.sum[1]) / n;
    row.left = s.left;
    row.top = s.top;
    row.width = s.right - s.left + 1;
    row.height = s.bottom - s.top + 1;
    row.covXX = cov(0, 0, 0);
    row.covXY = cov(1, 0, 1);
    row.covYY = cov(2, 1, 1);
    if (colour) {
      row.meanL = static_cast<double>(s.sum[2]) / n;
      row.meanA = static_cast<double>(s.sum[3]) / n;
      row.meanB = static_cast<double>(s.sum[4]) / n;
      row.meanRed = static_cast<double>(s.sum[5]) / n;
      row.meanGreen = static_cast<double>(s.sum[6]) / n;
      row.meanBlue = static_cast<double>(s.sum[7]) / n;
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
