#pragma once

#include <cstdint>

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Position of region `id` in `activeRegions`, or -1 when it is not active.
std::int32_t positionOf(const SegmentationState& state, std::int32_t id);

// Recomputes, for every active region, its boundary pixels (pixels with a neighbour in another
// region, ascending) and its touching pairs: the list of region x holds first the pairs (m, x) with
// m < x in ascending m, then the pairs (x, n) with n > x in ascending n.
void rebuildBoundaries(SegmentationState& state);

// Sets `balanceWeight` so that, summed over the active regions, the weighted spatial spread equals
// `weightFactor` times the colour term. When the spread sums to 0 or the weight would not be
// finite, the weight is left as it is.
void computeBalanceWeight(SegmentationState& state);

}  // namespace superpixels
