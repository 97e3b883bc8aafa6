#pragma once

#include <cstdint>

#include "regions/merge_data.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels {

// Side of the initial square blocks for `superpixelCount` (at least 1) superpixels: about 25 blocks
// per superpixel, computed in single precision, never below 1.
std::int32_t gridStep(std::int32_t width, std::int32_t height, std::int32_t superpixelCount);

// Cuts the image into blocks, one region per block with its model, label and display colour, and
// seeds `merge` (made afresh) with a candidate for every pair of 8-adjacent blocks.
void setUpSegmentation(SegmentationState& state, MergeData& merge, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor);

}  // namespace superpixels
