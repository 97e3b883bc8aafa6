#pragma once

// Engine fixtures: states built from given labels, consistency checks, and the plain computations
// the engine's fast paths are checked against.

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "image/image_data.hpp"
#include "refine/boundaries.hpp"
#include "refine/refinement_data.hpp"
#include "regions/merge_data.hpp"
#include "regions/segmentation_state.hpp"
#include "regions/set_up.hpp"

namespace superpixels {

// The tests' look into a merge heap's pool.
struct MergeHeapInternals {
  // Candidates alive (in the heap or not): made and not destroyed.
  static std::int32_t liveCandidates(const MergeHeap& heap) {
    return static_cast<std::int32_t>(heap.pool_.size() - heap.freeIds_.size());
  }
};

}  // namespace superpixels

namespace superpixels::testing {

// Labels of the state renumbered by position in activeRegions (0 for slots not listed), as the
// label file numbers them.
inline std::vector<std::int32_t> compactLabels(const SegmentationState& state) {
  std::vector<std::int32_t> compact(state.labelMap.slotCount, 0);
  for (std::int32_t j = 0; j < state.regionCount; ++j) compact[state.activeRegions[j]] = j;
  std::vector<std::int32_t> labels;
  for (const std::int32_t slot : state.labelMap.labels) labels.push_back(compact[slot]);
  return labels;
}

// Checks that every live region's model counts exactly the pixels labelled with it, that no pixel
// carries the label of a region that is gone, and that regionCount is the number of live regions.
inline void expectConsistent(const SegmentationState& state) {
  const LabelMap& map = state.labelMap;
  std::vector<std::int64_t> pixels(map.slotCount, 0);
  for (const std::int32_t slot : map.labels) ++pixels[slot];
  std::int32_t live = 0;
  for (std::int32_t slot = 0; slot < map.slotCount; ++slot) {
    const double count = state.regionStats[slot].count;
    if (count > 0.0) ++live;
    EXPECT_EQ(static_cast<double>(pixels[slot]), count > 0.0 ? count : 0.0) << "region " << slot;
  }
  EXPECT_EQ(live, state.regionCount);
}

// Ascending indices of the pixels labelled `region`: the region's pixel set.
inline std::vector<std::int32_t> pixelsOf(const LabelMap& map, std::int32_t region) {
  std::vector<std::int32_t> pixels;
  for (std::size_t p = 0; p < map.labels.size(); ++p) {
    if (map.labels[p] == region) pixels.push_back(static_cast<std::int32_t>(p));
  }
  return pixels;
}

// Ascending indices of the pixels of `region` marked in the border bitmap.
inline std::vector<std::int32_t> boundaryPixelsOf(const SegmentationState& state,
                                                  const RefinementData& refinement,
                                                  std::int32_t region) {
  std::vector<std::int32_t> pixels;
  for (const std::int32_t p : pixelsOf(state.labelMap, region)) {
    if (isBoundary(refinement, p)) pixels.push_back(p);
  }
  return pixels;
}

// Model of the single pixel p of the state's image, built whole (the engine pools single pixels
// through absorbPixel and releasePixel instead).
inline RegionStats pixelStats(const SegmentationState& state, std::int32_t p) {
  const std::int32_t x = p % state.image->width, y = p / state.image->width;
  const std::uint8_t* lab = state.image->lab(x, y);
  return makePixel(x, y, lab[0], lab[1], lab[2]);
}

// A state whose regions are given pixel by pixel. The grid has step 1, so every pixel index is
// also a valid slot id, and `labels` may use any of them. Region statistics are pooled from the
// single-pixel models in ascending pixel order, as merging leaves them.
struct Labelled {
  ImageData image;
  SegmentationState state;
  RefinementData refinement;  // for tests that prepare refinement on the state

  Labelled(const cv::Mat& bgr, const std::vector<std::int32_t>& labels)
      : image(makeImageData(bgr)) {
    MergeData merge;
    setUpSegmentation(state, merge, image, image.width * image.height, 0.5f);
    EXPECT_EQ(state.blockWidth, 1);
    state.labelMap.labels = labels;
    for (RegionStats& stats : state.regionStats) stats = RegionStats{};
    for (std::int32_t p = 0; p < static_cast<std::int32_t>(labels.size()); ++p) {
      state.regionStats[labels[p]].absorb(pixelStats(state, p));
    }
    listActiveRegions(state);
  }
};

// Decrease of the summed cost of regions s and t if pixel p moved from s to t, computed with whole
// models: what refinement's bounded gains must reproduce. NaN when p is the only pixel of s.
inline double moveGain(const SegmentationState& state, const RefinementData& refinement,
                       std::int32_t s, std::int32_t t, std::int32_t p) {
  RegionStats a = state.regionStats[s];
  RegionStats b = state.regionStats[t];
  const double old =
      refinement.activeCosts[positionOf(state, t)] + refinement.activeCosts[positionOf(state, s)];
  const RegionStats pixel = pixelStats(state, p);
  a.release(pixel);
  b.absorb(pixel);
  const double w = state.balanceWeight;
  return old - (b.cost(w) + a.cost(w));
}

// Ids of the regions 8-adjacent to live region a during merging, ascending: the other regions of
// a's candidates.
inline std::vector<std::int32_t> neighbourRegions(const MergeData& merge, std::int32_t a) {
  std::vector<std::int32_t> out;
  for (const CandidateId c : merge.regionCandidates[a]) {
    const MergeCandidate& candidate = merge.heap[c];
    out.push_back(candidate.regionA != a ? candidate.regionA : candidate.regionB);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace superpixels::testing
