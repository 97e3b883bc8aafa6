#include "refine/quick_cost.hpp"

#include <algorithm>
#include <cmath>

namespace superpixels {

namespace {

// Largest |k d_r d_c| a one-pixel change adds to a colour scatter entry (k <= 2, |d| <= 255).
constexpr double largestColourChange = 1.4e5;

}  // namespace

QuickCost::QuickCost(const RegionStats& region, double longerSide) : anchor_(anchorOf(region)) {
  const Eigen::Matrix3d& s = region.colourScatter;
  const Eigen::Matrix2d& p = region.positionScatter;
  const double count = region.count;
  mean_[0] = region.meanPosition[0];
  mean_[1] = region.meanPosition[1];
  for (int i = 0; i < 3; ++i) mean_[2 + i] = region.meanColour[i];
  positionTrace_ = p(1, 1) + p(0, 0);
  double c[3][3];
  c[0][0] = s(1, 1) * s(2, 2) - s(1, 2) * s(2, 1);
  c[0][1] = s(1, 2) * s(2, 0) - s(1, 0) * s(2, 2);
  c[0][2] = s(1, 0) * s(2, 1) - s(1, 1) * s(2, 0);
  c[1][0] = s(0, 2) * s(2, 1) - s(0, 1) * s(2, 2);
  c[1][1] = s(0, 0) * s(2, 2) - s(0, 2) * s(2, 0);
  c[1][2] = s(0, 1) * s(2, 0) - s(0, 0) * s(2, 1);
  c[2][0] = s(0, 1) * s(1, 2) - s(0, 2) * s(1, 1);
  c[2][1] = s(0, 2) * s(1, 0) - s(0, 0) * s(1, 2);
  c[2][2] = s(0, 0) * s(1, 1) - s(0, 1) * s(1, 0);
  form_[0] = c[0][0];
  form_[1] = c[0][1] + c[1][0];
  form_[2] = c[0][2] + c[2][0];
  form_[3] = c[1][1];
  form_[4] = c[1][2] + c[2][1];
  form_[5] = c[2][2];
  joinFactor_ = count / (count + 1.0);
  leaveFactor_ = count / (count - 1.0);
  const double inverseDet = 1.0 / anchor_.det;
  joinScale_ = joinFactor_ * inverseDet;
  leaveScale_ = -(leaveFactor_ * inverseDet);

  double largestEntry = 0.0;
  for (int r = 0; r < 3; ++r) {
    for (int col = 0; col < 3; ++col) largestEntry = std::max(largestEntry, std::fabs(s(r, col)));
  }
  const double largestSpread = std::max(std::fabs(p(0, 0)), std::fabs(p(1, 1)));
  const double z = largestEntry + largestColourChange;
  traceError_ = 8.0 * unitRoundoff * (12.0 * largestSpread + 120.0 * longerSide * longerSide);
  deltaMargin_ =
      8.0 * unitRoundoff * (120.0 * z * z * z + 1e8 * z * z) * inverseDet + 16.0 * unitRoundoff;
  rootScale_ = anchor_.root * (1.0 - 1e-14);

  bool finite = std::isfinite(positionTrace_) && std::isfinite(deltaMargin_) &&
                std::isfinite(traceError_) && std::isfinite(rootScale_) &&
                std::isfinite(joinScale_) && std::isfinite(leaveScale_);
  for (const double m : mean_) finite = finite && std::isfinite(m);
  for (const double f : form_) finite = finite && std::isfinite(f);
  const bool usable = finite && anchor_.det > 0.0;
  joinUsable_ = usable && count + 1.0 >= 8.0;
  leaveUsable_ = usable && count - 1.0 >= 8.0;
}

}  // namespace superpixels
