#pragma once

#include <cmath>

#include "refine/cube_root_bound.hpp"
#include "regions/region_stats.hpp"

namespace superpixels {

// One pixel's features: column, row and its three Lab bytes.
struct PixelFeatures {
  double x, y, L, a, b;
};

// The cost of a region after one pixel joined or left it: exact, or a range [lo, hi] that holds
// the exact value when its cube root was only bounded. `exact()` completes the range.
class ChangedCost {
 public:
  // Cost of `region` after absorbing the pixel, as region.absorb(makePixel(...)) then cost(w).
  static ChangedCost withPixel(const RegionStats& region, const PixelFeatures& pixel, double w,
                               const CubeRootAnchor& anchor);
  // Cost of `region` after releasing the pixel, as region.release(makePixel(...)) then cost(w).
  static ChangedCost withoutPixel(const RegionStats& region, const PixelFeatures& pixel, double w,
                                  const CubeRootAnchor& anchor);

  double lo() const { return lo_; }
  double hi() const { return hi_; }
  // The exact cost, calling pow if the range came from an anchor.
  double exact() {
    if (!exact_) {
      lo_ = hi_ = spatial_ + std::pow(det_, 1.0 / 3.0);
      exact_ = true;
    }
    return lo_;
  }

 private:
  // Finishes the cost from the changed statistics the way RegionStats::cost does.
  void finish(double count, double positionTrace, const double (&colour)[3][3], double w,
              const CubeRootAnchor& anchor);

  double lo_ = 0.0;
  double hi_ = 0.0;
  double spatial_ = 0.0;
  double det_ = 0.0;
  bool exact_ = true;
};

}  // namespace superpixels
