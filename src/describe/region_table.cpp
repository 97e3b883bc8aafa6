// describeRegions of the public describe header.

#include <algorithm>
#include <limits>
#include <stdexcept>

#include <opencv2/imgproc.hpp>

#include "describe/label_index.hpp"
#include "superpixels/describe.hpp"

namespace superpixels {

namespace {

// The features summed per superpixel, and the products of pairs of them the covariances need.
enum Feature { dx, dy, lightness, labA, labB, red, green, blue, featureCount };
enum Product { dxdx, dxdy, dydy, ll, la, lb, aa, ab, bb, productCount };

// Sums over one superpixel's pixels, in integers: every feature is an integer, so the sums are
// exact (positions relative to the first pixel met keep the sums of products within 64 bits for
// any image of at most 2^31 pixels), and only the final divisions round.
struct Sums {
  std::int64_t pixels = 0;
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  std::int32_t originX = 0, originY = 0;
  std::int64_t sum[featureCount] = {};
  std::int64_t products[productCount] = {};

  // Adds the run of pixels x .. end - 1 of row y, where `bgr` and `lab` (null without an image)
  // point at the row's first pixel.
  void addRun(std::int32_t x, std::int32_t end, std::int32_t y, const std::uint8_t* bgr,
              const std::uint8_t* lab) {
    if (pixels == 0) {
      originX = left = right = x;
      originY = top = y;
    }
    const std::int64_t n = end - x;
    pixels += n;
    left = std::min(left, x);
    right = std::max(right, end - 1);
    bottom = y;  // rows come in ascending order
    // dx runs from a to b: its sum and the sum of its squares.
    const std::int64_t a = x - originX, b = end - 1 - originX;
    const std::int64_t rowDy = y - originY;
    const std::int64_t sumDx = (a + b) * n / 2;
    const std::int64_t squares = (b * (b + 1) * (2 * b + 1) - (a - 1) * a * (2 * a - 1)) / 6;
    sum[dx] += sumDx;
    sum[dy] += rowDy * n;
    products[dxdx] += squares;
    products[dxdy] += sumDx * rowDy;
    products[dydy] += rowDy * rowDy * n;
    if (lab == nullptr) return;
    for (std::int32_t u = x; u < end; ++u) {
      const std::int64_t L = lab[3 * u], A = lab[3 * u + 1], B = lab[3 * u + 2];
      sum[lightness] += L;
      sum[labA] += A;
      sum[labB] += B;
      sum[red] += bgr[3 * u + 2];
      sum[green] += bgr[3 * u + 1];
      sum[blue] += bgr[3 * u];
      products[ll] += L * L;
      products[la] += L * A;
      products[lb] += L * B;
      products[aa] += A * A;
      products[ab] += A * B;
      products[bb] += B * B;
    }
  }

  double mean(Feature f) const { return static_cast<double>(sum[f]) / static_cast<double>(pixels); }

  // (sum fg - sum f sum g / n) / n, with the numerator n sum fg - sum f sum g exact in integers as
  // long as it fits (in 128 bits here).
  double covariance(Product product, Feature f, Feature g) const {
    const double n = static_cast<double>(pixels);
    const __int128 numerator =
        static_cast<__int128>(pixels) * products[product] - static_cast<__int128>(sum[f]) * sum[g];
    return static_cast<double>(numerator) / (n * n);
  }
};

// The sums of every superpixel of `index`, gathered run by run: a superpixel's pixels mostly
// follow each other along a row, and the position sums of a run have closed forms.
std::vector<Sums> sumsOf(const LabelIndex& index, std::int32_t width, std::int32_t height,
                         const cv::Mat& bgr, const cv::Mat& lab) {
  std::vector<Sums> sums(index.count());
  const bool colour = !bgr.empty();
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* pixel = colour ? bgr.ptr<std::uint8_t>(y) : nullptr;
    const std::uint8_t* labPixel = colour ? lab.ptr<std::uint8_t>(y) : nullptr;
    const std::int32_t* row = index.indices() + static_cast<std::size_t>(y) * width;
    for (std::int32_t x = 0; x < width;) {
      const std::int32_t i = row[x];
      std::int32_t end = x + 1;
      while (end < width && row[end] == i) ++end;
      if (i >= 0) sums[i].addRun(x, end, y, pixel, labPixel);
      x = end;
    }
  }
  return sums;
}

// The table's row of a superpixel with sums `s`; the colour columns NaN without an image.
RegionRow rowOf(std::int32_t label, const Sums& s, bool colour) {
  RegionRow row;
  row.label = label;
  row.pixels = s.pixels;
  row.centroidX = s.originX + s.mean(dx);
  row.centroidY = s.originY + s.mean(dy);
  row.left = s.left;
  row.top = s.top;
  row.width = s.right - s.left + 1;
  row.height = s.bottom - s.top + 1;
  row.covXX = s.covariance(dxdx, dx, dx);
  row.covXY = s.covariance(dxdy, dx, dy);
  row.covYY = s.covariance(dydy, dy, dy);
  if (colour) {
    row.meanL = s.mean(lightness);
    row.meanA = s.mean(labA);
    row.meanB = s.mean(labB);
    row.meanRed = s.mean(red);
    row.meanGreen = s.mean(green);
    row.meanBlue = s.mean(blue);
    row.covLL = s.covariance(ll, lightness, lightness);
    row.covLA = s.covariance(la, lightness, labA);
    row.covLB = s.covariance(lb, lightness, labB);
    row.covAA = s.covariance(aa, labA, labA);
    row.covAB = s.covariance(ab, labA, labB);
    row.covBB = s.covariance(bb, labB, labB);
  } else {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    row.meanRed = row.meanGreen = row.meanBlue = nan;
    row.meanL = row.meanA = row.meanB = nan;
    row.covLL = row.covLA = row.covLB = row.covAA = row.covAB = row.covBB = nan;
  }
  return row;
}

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
  const std::vector<Sums> sums = sumsOf(index, width, height, bgr, lab);
  std::vector<RegionRow> rows;
  rows.reserve(sums.size());
  for (std::size_t i = 0; i < sums.size(); ++i) {
    rows.push_back(rowOf(index.label(static_cast<std::int32_t>(i)), sums[i], colour));
  }
  return rows;
}

}  // namespace superpixels
