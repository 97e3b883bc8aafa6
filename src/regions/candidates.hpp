#pragma once

#include <cstdint>

#include "regions/merge_data.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels {

// The cost saving of merging regions a and b: a candidate's key. The two regions' own costs come
// from `merge.regionCandidates`.
double candidateKey(const SegmentationState& state, const MergeData& merge, std::int32_t a,
                    std::int32_t b);

// One candidate for every pair of 8-adjacent initial blocks, the smaller id first, made in block
// order (right, below, below left, below right), each keyed, put in the heap and listed under
// its first block, then its second. Under a mask, only for blocks whose pixels inside
// are 8-adjacent.
void seedCandidates(SegmentationState& state, MergeData& merge);

}  // namespace superpixels
