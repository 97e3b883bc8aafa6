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

// Merges c.regionB into c.regionA, c being out of the heap, and replaces the candidates of both by
// fresh, heaped candidates of the union, one per neighbouring region in ascending id order. `next`
// is a guess at the candidate merged after c (any candidate id, even one this merge withdraws) or
// -1 for none: what merging it would read first is fetched ahead while this merge runs. Only the
// timing depends on the guess.
void mergeCandidate(SegmentationState& state, MergeData& merge, CandidateId c, CandidateId next);

}  // namespace superpixels
