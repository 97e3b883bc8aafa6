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

void setUpSegmentation(SegmentationState& state, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor) {
  state = SegmentationState{};
  state.image = &image;
  state.weightFactor = weightFactor;
  const std::int32_t step = gridStep(image.width, image.height, superpixelCount);
  state.blockWidth = step;
  state.blockHeight = step;
  state.gridColumns = blocksToCover(image.width, step);
  state.gridRows = blocksToCover(image.height, step);
  state.pixelCount = image.width * image.height;

  const std::int32_t blocks = state.gridColumns * state.gridRows;
  state.regionCount = blocks;
  state.regionStats.assign(blocks, RegionStats{});
  // Blocks have up to 8 neighbours; most lists never move.
  state.regionCandidates.reset(blocks, 8);
  state.mergedInto.resize(blocks);
  for (std::int32_t slot = 0; slot < blocks; ++slot) state.mergedInto[slot] = slot;
  state.labelMap = LabelMap(image.width, image.height, step, step);
  accumulateBlockStatistics(state);
  state.regionCosts.resize(blocks);
  for (std::int32_t slot = 0; slot < blocks; ++slot) {
    state.regionCosts[slot] = state.regionStats[slot].cost(state.balanceWeight);
  }
  seedCandidates(state);

  Figures& figures = state.figures;
  figures.step = step;
  figures.gridColumns = state.gridColumns;
  figures.gridRows = state.gridRows;
  figures.initialRegionCount = blocks;
}

}  // namespace superpixels
