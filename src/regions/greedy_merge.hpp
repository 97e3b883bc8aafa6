#pragma once

#include <cstdint>

#include "regions/merge_data.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels {

// Merges the pair with the largest key again and again until at most `superpixelCount` regions
// remain, then brings the labels up to date and lists the survivors in `activeRegions`. Returns
// false when the heap ran empty first (only possible for a count below 1); the list is built all
// the same. `merge` is spent afterwards.
bool mergeToCount(SegmentationState& state, MergeData& merge, std::int32_t superpixelCount);

// Merges c.regionB into c.regionA and replaces the candidates of both by fresh, heaped candidates
// of the union, one per neighbouring region in ascending id order.
void mergeRegions(SegmentationState& state, MergeData& merge, CandidateId c);

// Withdraws and destroys every candidate of c's two regions except c itself, and lists unkeyed
// candidates (survivor, x) for every region x next to the union, x ascending.
void rebuildCandidates(const SegmentationState& state, MergeData& merge, CandidateId c);

}  // namespace superpixels
