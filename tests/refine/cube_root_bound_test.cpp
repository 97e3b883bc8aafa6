// The cube-root bounds that let refinement skip pow must always hold the value pow returns, and
// be narrow enough to decide comparisons.

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "refine/cube_root_bound.hpp"

namespace superpixels::testing {
namespace {

CubeRootAnchor anchorAt(double det) { return {det, std::pow(det, 1.0 / 3.0)}; }

void expectHolds(double det, const CubeRootAnchor& anchor) {
  double lo = 0.0, hi = 0.0;
  ASSERT_TRUE(cubeRootRange(det, anchor, lo, hi)) << det << " from " << anchor.det;
  const double root = std::pow(det, 1.0 / 3.0);
  ASSERT_LE(lo, root) << std::hexfloat << det << " from " << anchor.det;
  ASSERT_GE(hi, root) << std::hexfloat << det << " from " << anchor.det;
  const double delta = std::fabs(det - anchor.det) / anchor.det;
  EXPECT_LE(hi - lo, anchor.root * (delta * delta / 9.0 + 0.15 * delta * delta * delta + 3e-14))
      << "range too wide for " << det << " from " << anchor.det;
}

TEST(CubeRootBound, HoldsPowAcrossMagnitudesAndDistances) {
  std::mt19937_64 generator(99);
  std::uniform_real_distribution<double> exponent(-12.0, 40.0);
  std::uniform_real_distribution<double> spread(-0.25, 0.25);
  for (int i = 0; i < 200000; ++i) {
    const CubeRootAnchor anchor = anchorAt(std::pow(10.0, exponent(generator)));
    // Mostly the one-pixel changes refinement sees, some far out to the edge of the range.
    const double scale = i % 4 == 0 ? 1.0 : std::pow(10.0, -1.0 - i % 13);
    expectHolds(anchor.det * (1.0 + spread(generator) * scale), anchor);
    if (HasFatalFailure()) return;
  }
}

TEST(CubeRootBound, HoldsAtTheEdges) {
  for (const double det : {1.0, 27.0, 1e-300, 3.5e9, 8.123456789e25, 1e300}) {
    const CubeRootAnchor anchor = anchorAt(det);
    expectHolds(det, anchor);
    expectHolds(det * 1.25, anchor);
    expectHolds(det * 0.75, anchor);
    expectHolds(std::nextafter(det, 0.0), anchor);
    expectHolds(std::nextafter(det, 2.0 * det), anchor);
  }
}

TEST(CubeRootBound, RefusesWhatItCannotBound) {
  double lo = 0.0, hi = 0.0;
  EXPECT_FALSE(cubeRootRange(1.3, anchorAt(1.0), lo, hi));
  EXPECT_FALSE(cubeRootRange(0.7, anchorAt(1.0), lo, hi));
  EXPECT_FALSE(cubeRootRange(1.0, CubeRootAnchor{0.0, 0.0}, lo, hi));
  EXPECT_FALSE(cubeRootRange(1.0, CubeRootAnchor{-2.0, 0.0}, lo, hi));
  EXPECT_FALSE(cubeRootRange(std::nan(""), anchorAt(1.0), lo, hi));
  EXPECT_FALSE(cubeRootRange(1.0, anchorAt(std::nan("")), lo, hi));
}

}  // namespace
}  // namespace superpixels::testing
