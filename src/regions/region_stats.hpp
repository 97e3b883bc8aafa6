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
  // absorb(makePixel(x, y, L, a, b)) and release(makePixel(x, y, L, a, b)), without building the
  // pixel's model: the same operations in the same order, on count 1, zero scatters and the
  // features as means. Used wherever single pixels join or leave a region.
  void absorbPixel(double x, double y, double L, double a, double b);
  void releasePixel(double x, double y, double L, double a, double b);
  // Spatial spread weighted by `balanceWeight` plus the cube root of the colour scatter's
  // determinant; unweighted traces for fewer than 8 pixels.
  double cost(double balanceWeight) const;
  // The colour term of `cost` alone.
  double colourCost() const;
};

// cost(w) of `a` after a.absorb(b), without building the union: the same operations in the same
// order, for the entries cost reads only. Merge candidates are keyed by it.
double unionCost(const RegionStats& a, const RegionStats& b, double balanceWeight);

// Determinant of a colour scatter by cofactor expansion along the first row, the way `cost` takes
// it: its cube root is the colour term when it is positive.
double colourDeterminant(const Eigen::Matrix3d& s);

// Model of one pixel at column x, row y with Lab bytes L, a, b and the given weight.
RegionStats makePixel(double x, double y, double L, double a, double b, double weight = 1.0);

}  // namespace superpixels
