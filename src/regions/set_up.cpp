#include "regions/set_up.hpp"

#include <cmath>

#include "regions/candidates.hpp"

namespace superpixels {

namespace {

// Pools every pixel into its block's model, in row-major order: the order fixes the rounding.
void accumulateBlockStatistics(SegmentationState& state) {
  const ImageData& image = *state.image;
  for (std::int32_t y = 0; y < image.height; ++y) {
    RegionStats* block = &state.regionStats[(y / state.blockHeight) * state.gridColumns];
    std::int32_t blockEnd = state.blockWidth;
    for (std::int32_t x = 0; x < image.width; ++x) {
      if (x == blockEnd) {
        ++block;
        blockEnd += state.blockWidth;
      }
      state.absorbPixel(*block, x, y);
    }
  }
}

}  // namespace

std::int32_t gridStep(std::int32_t width, std::int32_t height, std::int32_t superpixelCount) {
  const float q = static_cast<float>(static_cast<std::int64_t>(width) * height) /
                  static_cast<float>(static_cast<std::int64_t>(superpixelCount) * 25);
  const float s = std::sqrt(q);
  return static_cast<std::int32_t>(s > 1.0f ? s : 1.0f);
}

void setUpSegmentation(SegmentationState& state, MergeData& merge, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor) {
  state = SegmentationState{};
  merge = MergeData{};
  state.image = &image;
  state.weightFactor = weightFactor;
  const std::int32_t step = gridStep(image.width, image.height, superpixelCount);
  state.blockWidth = step;
  state.blockHeight = step;
  state.gridColumns = blocksToCover(image.width, step);
  state.gridRows = blocksToCover(image.height, step);

  const std::int32_t blocks = state.gridColumns * state.gridRows;
  state.regionCount = blocks;
  state.regionStats.assign(blocks, RegionStats{});
  // Blocks have up to 8 neighbours; most lists never move.
  merge.regionCandidates.reset(blocks, 8);
  merge.mergedInto.resize(blocks);
  for (std::int32_t slot = 0; slot < blocks; ++slot) merge.mergedInto[slot] = slot;
  state.labelMap = LabelMap(image.width, image.height, step, step);
  accumulateBlockStatistics(state);
  merge.regionCosts.resize(blocks);
  for (std::int32_t slot = 0; slot < blocks; ++slot) {
    merge.regionCosts[slot] = state.regionStats[slot].cost(state.balanceWeight);
  }
  seedCandidates(state, merge);

  Trace& trace = state.trace;
  trace.step = step;
  trace.gridColumns = state.gridColumns;
  trace.gridRows = state.gridRows;
  trace.initialRegionCount = blocks;
}

}  // namespace superpixels
