#pragma once

#include <cstdint>
#include <vector>

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Merges the pair with the largest key again and again until at most `superpixelCount` regions
// remain, then lists the survivors in `activeRegions`. Returns false when the heap ran empty first
// (only possible for a count below 1); the list is built all the same.
bool mergeToCount(SegmentationState& state, std::int32_t superpixelCount);

// Merges c.regionB into c.regionA and replaces the candidates of both by fresh, heaped candidates
// of the union, one per neighbouring region in ascending id order.
void mergeRegions(SegmentationState& state, CandidateId c);

// Withdraws and destroys every candidate of c's two regions except c itself, and lists unkeyed
// candidates (survivor, x) for every region x next to the union, x ascending.
void rebuildCandidates(SegmentationState& state, CandidateId c);

// Ids of the regions 8-adjacent to live region a during merging, ascending, in `out`: the other
// regions of a's candidates. Returns their number.
std::int32_t neighbourRegions(const SegmentationState& state, std::int32_t a,
                              std::vector<std::int32_t>& out);

// Rebuilds `activeRegions`, `regionCount` and `positions`: the live regions are those whose model
// counts pixels.
void listActiveRegions(SegmentationState& state);

}  // namespace superpixels
