#pragma once

#include <cstdint>
#include <vector>

#include "refine/refinement_data.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels {

// Recomputes the border bitmap over the whole image: bit p is set when pixel p has a neighbour
// labelled differently.
void rebuildBoundaries(const SegmentationState& state, RefinementData& refinement);

// Brings the border bitmap up to date after the pixels `moved` changed their labels: only those
// pixels and their neighbours can change status. The result equals rebuildBoundaries'.
void updateBoundaries(const SegmentationState& state, RefinementData& refinement,
                      const std::vector<std::int32_t>& moved);

// True when bit p of the border bitmap is set.
inline bool isBoundary(const RefinementData& refinement, std::int32_t p) {
  return (refinement.boundaryBits[static_cast<std::size_t>(p) >> 6] >> (p & 63)) & 1u;
}

// Sets `balanceWeight` so that, summed over the active regions, the weighted spatial spread equals
// `weightFactor` times the colour term. When the spread sums to 0 or the weight would not be
// finite, the weight is left as it is.
void computeBalanceWeight(SegmentationState& state);

}  // namespace superpixels
