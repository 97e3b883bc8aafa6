#include "regions/region_stats.hpp"

#include <cmath>

namespace superpixels {

namespace {

// Cube root of the colour scatter's determinant (cofactor expansion along the first row); 0 when
// the determinant is not positive.
double colourTerm(const Eigen::Matrix3d& s) {
  const double t1 = s(0, 0) * (s(1, 1) * s(2, 2) - s(2, 1) * s(1, 2));
  const double t2 = s(0, 1) * (s(1, 0) * s(2, 2) - s(2, 0) * s(1, 2));
  const double t3 = s(0, 2) * (s(1, 0) * s(2, 1) - s(2, 0) * s(1, 1));
  const double det = (t1 - t2) + t3;
  return det > 0.0 ? std::pow(det, 1.0 / 3.0) : 0.0;
}

template <int N>
void pool(Eigen::Matrix<double, N, N>& sA, Eigen::Matrix<double, N, 1>& mA,
          const Eigen::Matrix<double, N, N>& sB, const Eigen::Matrix<double, N, 1>& mB,
          double nA, double nB, double q) {
  Eigen::Matrix<double, N, 1> m, dA, dB;
  for (int i = 0; i < N; ++i) m[i] = q * (nA * mA[i] + nB * mB[i]);
  for (int i = 0; i < N; ++i) {
    dA[i] = mA[i] - m[i];
    dB[i] = mB[i] - m[i];
  }
  for (int r = 0; r < N; ++r) {
    for (int c = 0; c < N; ++c) {
      sA(r, c) = ((sB(r, c) + sA(r, c)) + (nA * dA[r]) * dA[c]) + (nB * dB[r]) * dB[c];
    }
  }
  mA = m;
}

template <int N>
void unpool(Eigen::Matrix<double, N, N>& sA, Eigen::Matrix<double, N, 1>& mA,
            const Eigen::Matrix<double, N, N>& sB, const Eigen::Matrix<double, N, 1>& mB,
            double nA, double nB, double n) {
  const double q = 1.0 / n;
  Eigen::Matrix<double, N, 1> m, dA, dB;
  for (int i = 0; i < N; ++i) m[i] = (nA * mA[i] - nB * mB[i]) * q;
  for (int i = 0; i < N; ++i) {
    dA[i] = mA[i] - m[i];
    dB[i] = mA[i] - mB[i];
  }
  for (int r = 0; r < N; ++r) {
    for (int c = 0; c < N; ++c) {
      sA(r, c) = ((sA(r, c) - sB(r, c)) - (n * dA[r]) * dA[c]) - (nB * dB[r]) * dB[c];
    }
  }
  mA = m;
}

}  // namespace

RegionStats makePixel(double x, double y, double L, double a, double b, double weight) {
  RegionStats s;
  s.count = weight;
  s.meanPosition = {x, y};
  s.meanColour = {L, a, b};
  return s;
}

void RegionStats::absorb(const RegionStats& other) {
  const double nA = count;
  const double nB = other.count;
  const double n = nA + nB;
  count = n;
  const double q = 1.0 / n;
  pool<2>(positionScatter, meanPosition, other.positionScatter, other.meanPosition, nA, nB, q);
  pool<3>(colourScatter, meanColour, other.colourScatter, other.meanColour, nA, nB, q);
}

void RegionStats::release(const RegionStats& other) {
  const double nA = count;
  const double nB = other.count;
  const double n = nA - nB;
  count = n;
  unpool<2>(positionScatter, meanPosition, other.positionScatter, other.meanPosition, nA, nB, n);
  unpool<3>(colourScatter, meanColour, other.colourScatter, other.meanColour, nA, nB, n);
}

double RegionStats::cost(double balanceWeight) const {
  const Eigen::Matrix3d& sc = colourScatter;
  const Eigen::Matrix2d& sp = positionScatter;
  if (count < 8.0) return ((sc(2, 2) + sc(1, 1)) + sc(0, 0)) + (sp(1, 1) + sp(0, 0));
  return (sp(1, 1) + sp(0, 0)) * balanceWeight + colourTerm(sc);
}

double RegionStats::colourCost() const {
  if (count < 8.0) return (colourScatter(2, 2) + colourScatter(1, 1)) + colourScatter(0, 0);
  return colourTerm(colourScatter);
}

}  // namespace superpixels
