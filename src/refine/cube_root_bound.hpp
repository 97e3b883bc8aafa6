#pragma once

#include <cmath>

#include "regions/region_stats.hpp"

namespace superpixels {

// A region's colour determinant and its cube root as std::pow(det, 1.0 / 3.0) gave it; `root` is
// meaningful only when det > 0. Cached per active region so that the cube root of a nearby
// determinant can be bounded without calling pow.
struct CubeRootAnchor {
  double det = 0.0;
  double root = 0.0;
};

// The anchor of a region's current statistics.
inline CubeRootAnchor anchorOf(const RegionStats& region) {
  CubeRootAnchor anchor;
  anchor.det = colourDeterminant(region.colourScatter);
  if (anchor.det > 0.0) anchor.root = std::pow(anchor.det, 1.0 / 3.0);
  return anchor;
}

// Bounds lo <= std::pow(det, 1.0 / 3.0) <= hi from an anchor, when det > 0 lies within a quarter
// of the anchor's determinant (|delta| <= 0.25 for delta = (det - anchor.det) / anchor.det);
// otherwise false.
//
// Why it holds: with f(delta) = (1 + delta)^(1/3), concavity gives f <= 1 + delta / 3, and Taylor's
// remainder gives f >= 1 + delta / 3 - delta^2 / 9 - 0.14 |delta|^3 for |delta| <= 0.25 (the cubic
// term is at most (10/27)(0.75)^(-8/3) / 6 = 0.133 |delta|^3). pow(det, 1/3) differs from the
// anchor's root times f(delta) only by the two pow results' rounding (glibc: under 1 ulp each),
// the exponent 1/3 rounded to a double (relative 2e-17 per unit of |ln(1 + delta)|) and the
// rounding of delta and of the bounds themselves: together below 1e-15 relative, covered tenfold
// by the 1e-14 margin.
inline bool cubeRootRange(double det, const CubeRootAnchor& anchor, double& lo, double& hi) {
  if (!(anchor.det > 0.0)) return false;
  const double delta = (det - anchor.det) / anchor.det;
  const double size = std::fabs(delta);
  if (!(size <= 0.25)) return false;
  const double upper = 1.0 + delta / 3.0;
  const double lower = upper - delta * delta / 9.0 - 0.14 * size * size * size;
  lo = anchor.root * lower * (1.0 - 1e-14);
  hi = anchor.root * upper * (1.0 + 1e-14);
  return true;
}

}  // namespace superpixels
