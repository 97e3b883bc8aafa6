#pragma once

#include <cstdint>

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Sets c's key to the cost saving of merging its two regions; the heap is not touched. The two
// regions' own costs come from `regionCosts`.
void evaluateCandidate(SegmentationState& state, CandidateId c);

// Creates the candidate (a, b), keys it, puts it in the heap and lists it under a, then b.
void addCandidate(SegmentationState& state, std::int32_t a, std::int32_t b);

// One candidate for every pair of 8-adjacent initial blocks, the smaller id first, made in block
// order: right, below, below left, below right.
void seedCandidates(SegmentationState& state);

}  // namespace superpixels
