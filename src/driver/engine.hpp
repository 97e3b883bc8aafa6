#pragma once

#include "image/image_data.hpp"
#include "regions/segmentation_state.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// Runs every stage of the engine on `image` (options already checked) and leaves the final state
// in `state`.
void runSegmentation(SegmentationState& state, const ImageData& image, const Options& options);

// The result of a finished segmentation: labels renumbered by position in `activeRegions`.
Result makeResult(const SegmentationState& state);

// Checks the options, then segments `image`. Throws std::invalid_argument for invalid options.
Result segmentImage(const ImageData& image, const Options& options);

}  // namespace superpixels
