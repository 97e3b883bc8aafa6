#pragma once

#include "refine/refinement_data.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels {

// Most refinement passes run on one image.
constexpr int maxRefinementPasses = 22;

// Passes stop once the energy falls by no more than this fraction (0.001 rounded to single
// precision, compared as a double).
constexpr double convergenceThreshold = 0.0010000000474974513;

// After merging: borders, balance weight, cost cache and move proposals for every region, in
// `refinement` (made afresh).
void prepareRefinement(SegmentationState& state, RefinementData& refinement);

// Applies the pending moves, rebuilds the borders, proposes moves around the changes and measures
// the energy. True while another pass is wanted: always after the first pass, afterwards while
// the energy fell by more than `convergenceThreshold` of the previous pass's energy.
bool refinePass(SegmentationState& state, RefinementData& refinement);

// Sum of the cached region costs, accumulated in single precision.
float totalEnergy(const RefinementData& refinement);

// Runs the passes: `refinePass` while it returns true, at most `maxRefinementPasses` calls, with
// its working data in `refinement` (made afresh), where it stays for inspection.
void refine(SegmentationState& state, RefinementData& refinement);

// The same with working data of its own, released when it returns.
void refine(SegmentationState& state);

}  // namespace superpixels
