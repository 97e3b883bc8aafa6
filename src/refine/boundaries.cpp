#include "refine/boundaries.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace superpixels {

std::int32_t positionOf(const SegmentationState& state, std::int32_t id) {
  std::int32_t lo = 0;
  std::int32_t hi = state.regionCount - 1;
  while (lo <= hi) {
    const std::int32_t mid = (lo + hi) / 2;
    const std::int32_t value = state.activeRegions[mid];
    if (value < id) {
      lo = mid + 1;
    } else if (value > id) {
      hi = mid - 1;
    } else {
      return mid;
    }
  }
  return -1;
}

void rebuildBoundaries(SegmentationState& state) {
  const ImageData& image = *state.image;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  for (const std::int32_t m : state.activeRegions) {
    state.neighbourPairs[m].clear();
    state.boundaryPixels[m].clear();
  }
  std::vector<std::int32_t> larger;
  for (const std::int32_t m : state.activeRegions) {
    larger.clear();
    std::vector<std::int32_t>& boundary = state.boundaryPixels[m];
    for (const std::int32_t p : state.labelMap.regionPixels[m]) {
      bool onBoundary = false;
      for (const std::int32_t q : image.neighbours(p)) {
        const std::int32_t l = labels[q];
        if (l != m) onBoundary = true;
        if (m < l) larger.push_back(l);
      }
      if (onBoundary) boundary.push_back(p);
    }
    std::sort(larger.begin(), larger.end());
    larger.erase(std::unique(larger.begin(), larger.end()), larger.end());
    for (const std::int32_t n : larger) {
      state.neighbourPairs[m].push_back({m, n});
      state.neighbourPairs[n].push_back({m, n});
    }
  }
}

void computeBalanceWeight(SegmentationState& state) {
  double sumColour = 0.0;
  double sumSpatial = 0.0;
  for (const std::int32_t id : state.activeRegions) {
    const RegionStats& r = state.regionStats[id];
    sumColour += r.colourCost();
    sumSpatial += r.positionScatter(0, 0) + r.positionScatter(1, 1);
  }
  state.figures.sumColour = sumColour;
  state.figures.sumSpatial = sumSpatial;
  if (sumSpatial != 0.0) {
    const double weight = (static_cast<double>(state.weightFactor) * sumColour) / sumSpatial;
    if (std::isfinite(weight)) state.balanceWeight = weight;
  }
  state.figures.balanceWeight = state.balanceWeight;
}

}  // namespace superpixels
