#pragma once

#include <cstdint>
#include <vector>

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Position of region `id` in `activeRegions`, or -1 when it is not active. A table lookup, inline:
// a binary search over activeRegions took 15 % of the refinement's instructions, and the call
// alone 1 % once it was a lookup.
inline std::int32_t positionOf(const SegmentationState& state, std::int32_t id) {
  return state.positions[id];
}

// Recomputes the border bitmap over the whole image: bit p is set when pixel p has a neighbour
// labelled differently.
void rebuildBoundaries(SegmentationState& state);

// Brings the border bitmap up to date after the pixels `moved` changed their labels: only those
// pixels and their neighbours can change status. The result equals rebuildBoundaries'.
void updateBoundaries(SegmentationState& state, const std::vector<std::int32_t>& moved);

// True when bit p of the border bitmap is set.
inline bool isBoundary(const SegmentationState& state, std::int32_t p) {
  return (state.boundaryBits[static_cast<std::size_t>(p) >> 6] >> (p & 63)) & 1u;
}

// Sets `balanceWeight` so that, summed over the active regions, the weighted spatial spread equals
// `weightFactor` times the colour term. When the spread sums to 0 or the weight would not be
// finite, the weight is left as it is.
void computeBalanceWeight(SegmentationState& state);

}  // namespace superpixels
