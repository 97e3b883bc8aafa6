#pragma once

#include <algorithm>
#include <cmath>

#include "refine/changed_cost.hpp"
#include "refine/cube_root_bound.hpp"
#include "regions/region_stats.hpp"

namespace superpixels {

// A lower bound of a cost, or nothing when `known` is false.
struct CostBound {
  double lo = 0.0;
  bool known = false;
};

// What refinement keeps of an active region to bound, in a few dozen operations, the cost the
// region would have after one pixel joined or left it, without redoing its statistics.
//
// In exact arithmetic, absorbing a pixel at offset d from the region's mean adds k d d^T to a
// scatter with k = n / (n + 1) (releasing subtracts it with k = n / (n - 1)), so the position
// trace grows by k |d|^2 and, by the matrix determinant lemma, the colour determinant by
// k d^T C d with C the cofactor matrix. The statistics ChangedCost computes differ from these by
// rounding only: every entry by at most u (3 |S| + 40 M^2) (u = 2^-53, M the largest coordinate:
// 255 for colour, the image's longer side for position; the means are convex combinations of
// non-negative coordinates, so no step cancels beyond that), the determinant then by at most
// u (116 Z^3 + 7.6e7 Z^2 + |det|) with Z = max |S| + 1.4e5, counting the cofactor expansions'
// rounding, the entries' errors through the determinant, and the rounding of C and of d^T C d
// (taken with C's symmetric part, whose sums add under 1e6 u Z^2). The bounds used are eight
// times these. The cube root of (1 + delta) times the region's own is
// then bounded from below as in cubeRootRange, and rounding being monotonic, the cost's lower
// bound follows from the lower bounds of its parts.
class QuickCost {
 public:
  QuickCost() = default;
  // `longerSide` is the image's larger dimension.
  QuickCost(const RegionStats& region, double longerSide);

  const CubeRootAnchor& anchor() const { return anchor_; }

  // A lower bound of ChangedCost::withPixel(region, pixel, w, anchor()).exact() (a gain's upper
  // bound needs no more); unknown for small regions (the trace branch of cost) and determinants
  // that are not positive.
  CostBound withPixel(const PixelFeatures& pixel, double w) const { return bound<true>(pixel, w); }
  // The same for ChangedCost::withoutPixel, unknown also for changes of the determinant by more
  // than a quarter.
  CostBound withoutPixel(const PixelFeatures& pixel, double w) const {
    return bound<false>(pixel, w);
  }

 private:
  static constexpr double unitRoundoff = 0x1p-53;

  template <bool joining>
  CostBound bound(const PixelFeatures& pixel, double w) const {
    if (!(joining ? joinUsable_ : leaveUsable_)) return {};
    const double dx = pixel.x - mean_[0];
    const double dy = pixel.y - mean_[1];
    const double dL = pixel.L - mean_[2];
    const double da = pixel.a - mean_[3];
    const double db = pixel.b - mean_[4];

    const double spread = (joining ? joinFactor_ : leaveFactor_) * (dx * dx + dy * dy);
    const double trace = joining ? positionTrace_ + spread : positionTrace_ - spread;
    const double traceError = traceError_ + 8.0 * unitRoundoff * std::fabs(trace);
    // d^T C d with C's symmetric part: (C + C^T) / 2 has the same quadratic form.
    const double form = dL * (form_[0] * dL + form_[1] * da + form_[2] * db) +
                        da * (form_[3] * da + form_[4] * db) + db * (form_[5] * db);
    // The determinant afterwards is the region's times (1 + delta), delta at least deltaLo. The
    // lower Taylor bound grows with delta, so its value at deltaLo bounds the root from below.
    const double delta = form * (joining ? joinScale_ : leaveScale_);
    const double deltaLo = delta - deltaMargin_;
    double rootFactor;  // at most (1 + delta)^(1/3) for the delta the exact cost has
    if (deltaLo >= -0.25 && deltaLo <= 0.25) {
      rootFactor = 1.0 + deltaLo * (1.0 / 3.0 - deltaLo * (1.0 / 9.0 + 0.14 * std::fabs(deltaLo)));
    } else if (joining) {
      // Beyond a quarter, delta's own rounding grows with it: 8 u (|1 + delta| + |delta|) is at
      // most 16 u (1 + |delta|), of which deltaMargin_ holds the first 16 u. A pixel whose colour
      // lies far from the region's mostly stays out of it: bounded here, such joins no longer go
      // to ChangedCost (refinement at count 1000, BSDS500 photos: -8 to -10 % instructions).
      // Releases stay unknown there: the chords are loose, and a loose release bound, which every
      // target's bound is tested against, sent more gains to the exact path than it saved (count
      // 200: +1 %).
      const double wideLo = delta - (deltaMargin_ + 16.0 * unitRoundoff * std::fabs(delta));
      if (!(wideLo == wideLo)) return {};
      rootFactor = wideRootFactor(wideLo);
    } else {
      return {};
    }
    const double spatialLo = w >= 0.0 ? (trace - traceError) * w : (trace + traceError) * w;
    return {spatialLo + rootScale_ * rootFactor, true};
  }

  // A lower bound of (1 + d')^(1/3) for every d' >= d (0 where 1 + d' may not be positive: the
  // colour term is then 0). The cube root is increasing and concave, so it lies above its chords:
  // from (1/4, 1.25^(1/3)) to (7, 2) and from (7, 2) to (26, 3), and 3 beyond; from (-1, 0) to
  // (-1/4, 0.75^(1/3)); within [-1/4, 1/4] the Taylor bound above holds. The chords' ends are
  // rounded down; the rounding of the chords themselves is a few u, within the 1e-14 margin of
  // rootScale_.
  static double wideRootFactor(double d) {
    constexpr double rootOfFiveQuarters = 1.0772173450159;   // 1.25^(1/3) = 1.07721734501594...
    constexpr double rootOfThreeQuarters = 0.9085602964160;  // 0.75^(1/3) = 0.90856029641606...
    if (d > 0.25) {
      if (d <= 7.0) return rootOfFiveQuarters + (d - 0.25) * ((2.0 - rootOfFiveQuarters) / 6.75);
      if (d <= 26.0) return 2.0 + (d - 7.0) * (1.0 / 19.0);
      return 3.0;
    }
    if (d >= -0.25) return 1.0 + d * (1.0 / 3.0 - d * (1.0 / 9.0 + 0.14 * std::fabs(d)));
    if (d >= -1.0) return (d + 1.0) * (rootOfThreeQuarters / 0.75);
    return 0.0;
  }

  CubeRootAnchor anchor_;
  double mean_[5] = {};
  double positionTrace_ = 0.0;
  double form_[6] = {};       // C00, C01 + C10, C02 + C20, C11, C12 + C21, C22
  double joinFactor_ = 0.0;   // count / (count + 1)
  double leaveFactor_ = 0.0;  // count / (count - 1)
  double joinScale_ = 0.0;    // joinFactor_ / det
  double leaveScale_ = 0.0;   // -leaveFactor_ / det
  double traceError_ = 0.0;
  // Bound of delta's error: the determinant's, relative to the region's, plus the rounding of
  // delta itself (8 u (|1 + delta| + |delta|), at most 16 u wherever the bound is used).
  double deltaMargin_ = 0.0;
  double rootScale_ = 0.0;  // the region's cube root, lowered by the 1e-14 margin
  bool joinUsable_ = false;
  bool leaveUsable_ = false;
};

}  // namespace superpixels
