// Reference region model and merge heap.

#include <cmath>

#include "reference/reference_engine.hpp"

namespace superpixels::reference {

namespace {

double colourTerm(const Eigen::Matrix3d& s) {
  const double t1 = s(0, 0) * (s(1, 1) * s(2, 2) - s(2, 1) * s(1, 2));
  const double t2 = s(0, 1) * (s(1, 0) * s(2, 2) - s(2, 0) * s(1, 2));
  const double t3 = s(0, 2) * (s(1, 0) * s(2, 1) - s(2, 0) * s(1, 1));
  const double det = (t1 - t2) + t3;
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

}  // namespace

RegionStats makePixel(double x, double y, double L, double a, double b) {
  RegionStats s;
  s.count = 1.0;
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

CandidateId MergeHeap::create(std::int32_t regionA, std::int32_t regionB) {
  CandidateId c;
  if (freeIds_.empty()) {
    c = static_cast<CandidateId>(pool_.size());
    pool_.emplace_back();
  } else {
    c = freeIds_.back();
    freeIds_.pop_back();
  }
  pool_[c] = MergeCandidate{0.0, notInHeap, regionA, regionB};
  return c;
}

void MergeHeap::siftUp(std::int32_t i) {
  const CandidateId c = heapItems_[i];
  const double key = pool_[c].key;
  while (i > 0) {
    const std::int32_t parent = (i - 1) / 2;
    if (!(key > pool_[heapItems_[parent]].key)) break;
    place(i, heapItems_[parent]);
    i = parent;
  }
  place(i, c);
}

void MergeHeap::siftDown(std::int32_t i) {
  const CandidateId c = heapItems_[i];
  const double key = pool_[c].key;
  const std::int32_t size = heapSize();
  for (;;) {
    const std::int32_t left = 2 * i + 1;
    const std::int32_t right = left + 1;
    if (left >= size) break;
    std::int32_t larger = left;
    if (right < size && pool_[heapItems_[right]].key > pool_[heapItems_[left]].key) larger = right;
    if (!(pool_[heapItems_[larger]].key > key)) break;
    place(i, heapItems_[larger]);
    i = larger;
  }
  place(i, c);
}

void MergeHeap::insert(CandidateId c, double key) {
  pool_[c].key = key;
  heapItems_.push_back(c);
  pool_[c].heapIndex = heapSize() - 1;
  siftUp(heapSize() - 1);
}

bool MergeHeap::popMax(CandidateId& out) {
  if (heapSize() < 1) return false;
  const std::int32_t last = heapSize() - 1;
  const CandidateId root = heapItems_[0];
  place(0, heapItems_[last]);
  place(last, root);
  heapItems_.pop_back();
  if (heapSize() > 1) siftDown(0);
  pool_[root].heapIndex = notInHeap;
  out = root;
  return true;
}

void MergeHeap::remove(CandidateId c) {
  const std::int32_t i = pool_[c].heapIndex;
  if (i == notInHeap) return;
  const std::int32_t last = heapSize() - 1;
  place(i, heapItems_[last]);
  place(last, c);
  heapItems_.pop_back();
  pool_[c].heapIndex = notInHeap;
  if (i != last) {
    if (pool_[c].key > pool_[heapItems_[i]].key) {
      siftDown(i);
    } else {
      siftUp(i);
    }
  }
}

void MergeHeap::reposition(CandidateId c) {
  const std::int32_t i = pool_[c].heapIndex;
  if (i > 0 && pool_[c].key > pool_[heapItems_[(i - 1) / 2]].key) {
    siftUp(i);
  } else {
    siftDown(i);
  }
}

}  // namespace superpixels::reference
