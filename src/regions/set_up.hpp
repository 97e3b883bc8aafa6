#pragma once

#include <cstdint>

#include "regions/merge_data.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels {

// Side of the initial square blocks for `superpixelCount` (at least 1) superpixels over `pixels`
// pixels (those inside the mask): about 25 blocks per superpixel, computed in single precision,
// never below 1.
std::int32_t gridStep(std::int64_t pixels, std::int32_t superpixelCount);

// Cuts the image into blocks, one region per block with its model, label and display colour, and
// seeds `merge` (made afresh) with a candidate for every pair of 8-adjacent blocks. With a mask,
// blocks keep their grid positions and numbers but hold only their pixels inside, a block with
// none is no region, pixels outside are labelled noRegion, and two blocks are a candidate pair
// only when pixels of theirs inside are 8-adjacent.
void setUpSegmentation(SegmentationState& state, MergeData& merge, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor);

}  // namespace superpixels
