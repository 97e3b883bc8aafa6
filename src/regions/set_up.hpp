#pragma once

#include <cstdint>

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Side of the initial square blocks for `superpixelCount` (at least 1) superpixels: about 25 blocks
// per superpixel, computed in single precision, never below 1.
std::int32_t gridStep(std::int32_t width, std::int32_t height, std::int32_t superpixelCount);

// Cuts the image into blocks, one region per block with its model, pixel set, label and display
// colour, and seeds the merge heap with every pair of 8-adjacent blocks.
void setUpSegmentation(SegmentationState& state, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor);

}  // namespace superpixels
