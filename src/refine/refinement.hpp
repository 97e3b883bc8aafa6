#pragma once

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Most refinement passes run on one image.
constexpr int maxRefinementPasses = 22;

// Passes stop once the energy falls by no more than this fraction (0.001 rounded to single
// precision, compared as a double).
constexpr double convergenceThreshold = 0.0010000000474974513;

// After merging: borders, balance weight, cost cache and move proposals for every region.
void prepareRefinement(SegmentationState& state);

// Applies the pending moves, rebuilds the borders, proposes moves around the changes and measures
// the energy. True while another pass is wanted: always after the first pass, afterwards while
// the energy fell by more than `convergenceThreshold` of the previous pass's energy.
bool refinePass(SegmentationState& state);

// Sum of the cached region costs, accumulated in single precision.
float totalEnergy(const SegmentationState& state);

// Runs the passes: `refinePass` while it returns true, at most `maxRefinementPasses` calls.
void refine(SegmentationState& state);

}  // namespace superpixels
