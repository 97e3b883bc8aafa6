#pragma once

#include <Eigen/Core>

namespace superpixels {

// Gaussian model of a pixel set in (x, y, L, a, b): count, means and scatter matrices (sums of
// squared deviations, not divided by the count). Position and colour are independent. Every
// operation evaluates its arithmetic in one fixed order, so results are reproducible to the bit;
// build with -ffp-contract=off.
struct RegionStats {
  Eigen::Matrix2d positionScatter = Eigen::Matrix2d::Zero();
  Eigen::Matrix3d colourScatter = Eigen::Matrix3d::Zero();
  double count = 0.0;
  Eigen::Vector2d meanPosition = Eigen::Vector2d::Zero();
  Eigen::Vector3d meanColour = Eigen::Vector3d::Zero();

  // Pools `other` into this model, which then describes the union of both pixel sets.
  void absorb(const RegionStats& other);
  // Removes the pixels `other` describes: the inverse of absorb up to rounding. Releasing a model
  // of the whole region leaves NaN statistics.
  void release(const RegionStats& other);
  // Spatial spread weighted by `balanceWeight` plus the cube root of the colour scatter's
  // determinant; unweighted traces for fewer than 8 pixels.
  double cost(double balanceWeight) const;
  // The colour term of `cost` alone.
  double colourCost() const;
};

// Model of one pixel at column x, row y with Lab bytes L, a, b and the given weight.
RegionStats makePixel(double x, double y, double L, double a, double b, double weight = 1.0);

}  // namespace superpixels
