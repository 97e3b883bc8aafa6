#include "refine/changed_cost.hpp"

namespace superpixels {

// Both functions below repeat, operation for operation, RegionStats::absorb and ::release with a
// one-pixel model (count nB = 1, scatters 0, means = the pixel's features), keeping only what
// cost() reads: the count, the position scatter's diagonal and the whole colour scatter. The
// position scatter's off-diagonal entries, which nothing reads, are not computed.

ChangedCost ChangedCost::withPixel(const RegionStats& region, const PixelFeatures& pixel, double w,
                                   const CubeRootAnchor& anchor) {
  const double nA = region.count;
  const double nB = 1.0;
  const double n = nA + nB;
  const double q = 1.0 / n;
  const double f[5] = {pixel.x, pixel.y, pixel.L, pixel.a, pixel.b};
  double dA[5], dB[5];
  for (int i = 0; i < 2; ++i) {
    const double mA = region.meanPosition[i];
    const double m = q * (nA * mA + nB * f[i]);
    dA[i] = mA - m;
    dB[i] = f[i] - m;
  }
  for (int i = 0; i < 3; ++i) {
    const double mA = region.meanColour[i];
    const double m = q * (nA * mA + nB * f[2 + i]);
    dA[2 + i] = mA - m;
    dB[2 + i] = f[2 + i] - m;
  }
  const auto pooled = [&](double sA, int r, int c) {
    return ((0.0 + sA) + (nA * dA[r]) * dA[c]) + (nB * dB[r]) * dB[c];
  };
  const double p00 = pooled(region.positionScatter(0, 0), 0, 0);
  const double p11 = pooled(region.positionScatter(1, 1), 1, 1);
  double colour[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) colour[r][c] = pooled(region.colourScatter(r, c), 2 + r, 2 + c);
  }
  ChangedCost cost;
  cost.finish(n, p11 + p00, colour, w, anchor);
  return cost;
}

ChangedCost ChangedCost::withoutPixel(const RegionStats& region, const PixelFeatures& pixel,
                                      double w, const CubeRootAnchor& anchor) {
  const double nA = region.count;
  const double nB = 1.0;
  const double n = nA - nB;
  const double q = 1.0 / n;
  const double f[5] = {pixel.x, pixel.y, pixel.L, pixel.a, pixel.b};
  double dA[5], dB[5];
  for (int i = 0; i < 2; ++i) {
    const double mA = region.meanPosition[i];
    const double m = (nA * mA - nB * f[i]) * q;
    dA[i] = mA - m;
    dB[i] = mA - f[i];
  }
  for (int i = 0; i < 3; ++i) {
    const double mA = region.meanColour[i];
    const double m = (nA * mA - nB * f[2 + i]) * q;
    dA[2 + i] = mA - m;
    dB[2 + i] = mA - f[2 + i];
  }
  const auto unpooled = [&](double sA, int r, int c) {
    return ((sA - 0.0) - (n * dA[r]) * dA[c]) - (nB * dB[r]) * dB[c];
  };
  const double p00 = unpooled(region.positionScatter(0, 0), 0, 0);
  const double p11 = unpooled(region.positionScatter(1, 1), 1, 1);
  double colour[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) colour[r][c] = unpooled(region.colourScatter(r, c), 2 + r, 2 + c);
  }
  ChangedCost cost;
  cost.finish(n, p11 + p00, colour, w, anchor);
  return cost;
}

void ChangedCost::finish(double count, double positionTrace, const double (&s)[3][3], double w,
                         const CubeRootAnchor& anchor) {
  if (count < 8.0) {
    lo_ = hi_ = ((s[2][2] + s[1][1]) + s[0][0]) + positionTrace;
    return;
  }
  spatial_ = positionTrace * w;
  const double t1 = s[0][0] * (s[1][1] * s[2][2] - s[2][1] * s[1][2]);
  const double t2 = s[0][1] * (s[1][0] * s[2][2] - s[2][0] * s[1][2]);
  const double t3 = s[0][2] * (s[1][0] * s[2][1] - s[2][0] * s[1][1]);
  det_ = (t1 - t2) + t3;
  if (!(det_ > 0.0)) {
    lo_ = hi_ = spatial_ + 0.0;
    return;
  }
  double rootLo, rootHi;
  if (cubeRootRange(det_, anchor, rootLo, rootHi)) {
    // Rounding is monotonic: the sums of the bounds bound the sum of the exact root.
    lo_ = spatial_ + rootLo;
    hi_ = spatial_ + rootHi;
    exact_ = false;
  } else {
    lo_ = hi_ = spatial_ + std::pow(det_, 1.0 / 3.0);
  }
}

}  // namespace superpixels
