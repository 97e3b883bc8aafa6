#include "regions/region_stats.hpp"

#include <cmath>

namespace superpixels {

namespace {

// Cube root of the colour scatter's determinant; 0 when the determinant is not positive.
double colourTerm(const Eigen::Matrix3d& s) {
  const double det = colourDeterminant(s);
  return det > 0.0 ? std::pow(det, 1.0 / 3.0) : 0.0;
}

template <int N>
void pool(Eigen::Matrix<double, N, N>& sA, Eigen::Matrix<double, N, 1>& mA,
          const Eigen::Matrix<double, N, N>& sB, const Eigen::Matrix<double, N, 1>& mB, double nA,
          double nB, double q) {
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
            const Eigen::Matrix<double, N, N>& sB, const Eigen::Matrix<double, N, 1>& mB, double nA,
            double nB, double n) {
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

// pool and unpool for a one-pixel model: nB = 1, sB = 0, mB = the pixel's features.
template <int N>
void poolPixel(Eigen::Matrix<double, N, N>& sA, Eigen::Matrix<double, N, 1>& mA, const double* f,
               double nA, double q) {
  const double nB = 1.0;
  Eigen::Matrix<double, N, 1> m, dA, dB;
  for (int i = 0; i < N; ++i) m[i] = q * (nA * mA[i] + nB * f[i]);
  for (int i = 0; i < N; ++i) {
    dA[i] = mA[i] - m[i];
    dB[i] = f[i] - m[i];
  }
  for (int r = 0; r < N; ++r) {
    for (int c = 0; c < N; ++c) {
      sA(r, c) = ((0.0 + sA(r, c)) + (nA * dA[r]) * dA[c]) + (nB * dB[r]) * dB[c];
    }
  }
  mA = m;
}

template <int N>
void unpoolPixel(Eigen::Matrix<double, N, N>& sA, Eigen::Matrix<double, N, 1>& mA, const double* f,
                 double nA, double n) {
  const double nB = 1.0;
  const double q = 1.0 / n;
  Eigen::Matrix<double, N, 1> m, dA, dB;
  for (int i = 0; i < N; ++i) m[i] = (nA * mA[i] - nB * f[i]) * q;
  for (int i = 0; i < N; ++i) {
    dA[i] = mA[i] - m[i];
    dB[i] = mA[i] - f[i];
  }
  for (int r = 0; r < N; ++r) {
    for (int c = 0; c < N; ++c) {
      sA(r, c) = ((sA(r, c) - 0.0) - (n * dA[r]) * dA[c]) - (nB * dB[r]) * dB[c];
    }
  }
  mA = m;
}

}  // namespace

double colourDeterminant(const Eigen::Matrix3d& s) {
  const double t1 = s(0, 0) * (s(1, 1) * s(2, 2) - s(2, 1) * s(1, 2));
  const double t2 = s(0, 1) * (s(1, 0) * s(2, 2) - s(2, 0) * s(1, 2));
  const double t3 = s(0, 2) * (s(1, 0) * s(2, 1) - s(2, 0) * s(1, 1));
  return (t1 - t2) + t3;
}

double unionCost(const RegionStats& a, const RegionStats& b, double balanceWeight) {
  const double nA = a.count;
  const double nB = b.count;
  const double n = nA + nB;
  const double q = 1.0 / n;
  // Deviations from the union's means, as pool() computes them.
  double dA[5], dB[5];
  for (int i = 0; i < 2; ++i) {
    const double m = q * (nA * a.meanPosition[i] + nB * b.meanPosition[i]);
    dA[i] = a.meanPosition[i] - m;
    dB[i] = b.meanPosition[i] - m;
  }
  for (int i = 0; i < 3; ++i) {
    const double m = q * (nA * a.meanColour[i] + nB * b.meanColour[i]);
    dA[2 + i] = a.meanColour[i] - m;
    dB[2 + i] = b.meanColour[i] - m;
  }
  const auto pooled = [&](double sA, double sB, int r, int c) {
    return ((sB + sA) + (nA * dA[r]) * dA[c]) + (nB * dB[r]) * dB[c];
  };
  const double p00 = pooled(a.positionScatter(0, 0), b.positionScatter(0, 0), 0, 0);
  const double p11 = pooled(a.positionScatter(1, 1), b.positionScatter(1, 1), 1, 1);
  Eigen::Matrix3d s;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      s(r, c) = pooled(a.colourScatter(r, c), b.colourScatter(r, c), 2 + r, 2 + c);
    }
  }
  if (n < 8.0) return ((s(2, 2) + s(1, 1)) + s(0, 0)) + (p11 + p00);
  return (p11 + p00) * balanceWeight + colourTerm(s);
}

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

void RegionStats::absorbPixel(double x, double y, double L, double a, double b) {
  const double nA = count;
  const double n = nA + 1.0;
  count = n;
  const double q = 1.0 / n;
  const double position[2] = {x, y};
  const double colour[3] = {L, a, b};
  poolPixel<2>(positionScatter, meanPosition, position, nA, q);
  poolPixel<3>(colourScatter, meanColour, colour, nA, q);
}

void RegionStats::releasePixel(double x, double y, double L, double a, double b) {
  const double nA = count;
  const double n = nA - 1.0;
  count = n;
  const double position[2] = {x, y};
  const double colour[3] = {L, a, b};
  unpoolPixel<2>(positionScatter, meanPosition, position, nA, n);
  unpoolPixel<3>(colourScatter, meanColour, colour, nA, n);
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
