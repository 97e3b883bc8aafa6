#pragma once

#include "engine/shared_executor.hpp"
#include "image/image_data.hpp"
#include "regions/segmentation_state.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// Runs every stage of the engine on `image` (options already checked) and leaves the final model,
// with its trace, in `state`. Each stage's own data is released when the stage ends. Stage times
// go to `times` when given.
void runStages(SegmentationState& state, const ImageData& image, const Options& options,
               StageTimes* times = nullptr);

// The result of a finished segmentation: labels renumbered by position in `activeRegions`.
Result makeResult(const SegmentationState& state);

}  // namespace superpixels
