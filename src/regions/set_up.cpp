#include "regions/set_up.hpp"

#include <algorithm>
#include <cmath>

#include "regions/candidates.hpp"

namespace superpixels {

namespace {

// Pools every pixel inside the mask into its block's model, in row-major order: the order fixes
// the rounding. Block rows are independent, and may be done side by side.
template <bool masked>
void accumulateBlockRow(SegmentationState& state, std::int32_t blockRow) {
  const ImageData& image = *state.image;
  const std::int32_t end = std::min(image.height, (blockRow + 1) * state.blockHeight);
  for (std::int32_t y = blockRow * state.blockHeight; y < end; ++y) {
    RegionStats* block = &state.regionStats[(y / state.blockHeight) * state.gridColumns];
    const std::uint8_t* inside = masked ? image.mask.ptr<std::uint8_t>(y) : nullptr;
    std::int32_t blockEnd = state.blockWidth;
    for (std::int32_t x = 0; x < image.width; ++x) {
      if (x == blockEnd) {
        ++block;
        blockEnd += state.blockWidth;
      }
      if (masked && inside[x] == 0) continue;
      state.absorbPixel(*block, x, y);
    }
  }
}

template <bool masked>
void accumulateBlockStatistics(SegmentationState& state) {
  forEachPart(state, state.gridRows, [&](std::int64_t row) {
    accumulateBlockRow<masked>(state, static_cast<std::int32_t>(row));
  });
}

// Outside the mask, pixels belong to no block: their label is noRegion.
void unlabelOutside(SegmentationState& state) {
  const ImageData& image = *state.image;
  std::int32_t* label = state.labelMap.labels.data();
  for (std::int32_t y = 0; y < image.height; ++y) {
    const std::uint8_t* inside = image.mask.ptr<std::uint8_t>(y);
    for (std::int32_t x = 0; x < image.width; ++x, ++label) {
      if (inside[x] == 0) *label = noRegion;
    }
  }
}

}  // namespace

std::int32_t gridStep(std::int64_t pixels, std::int32_t superpixelCount) {
  const float q = static_cast<float>(pixels) /
                  static_cast<float>(static_cast<std::int64_t>(superpixelCount) * 25);
  const float s = std::sqrt(q);
  return static_cast<std::int32_t>(s > 1.0f ? s : 1.0f);
}

void setUpSegmentation(SegmentationState& state, MergeData& merge, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor) {
  Executor* executor = state.executor;
  const int threads = state.threads;
  const std::atomic<bool>* stop = state.stop;
  const SimdPath simdPath = state.simdPath;
  state = SegmentationState{};
  state.executor = executor;
  state.threads = threads;
  state.stop = stop;
  state.simdPath = simdPath;
  merge = MergeData{};
  state.image = &image;
  state.weightFactor = weightFactor;
  // With a mask, the blocks are as fine as the pixels inside need for the count asked for.
  const std::int32_t step = gridStep(image.insideCount, superpixelCount);
  state.blockWidth = step;
  state.blockHeight = step;
  state.gridColumns = blocksToCover(image.width, step);
  state.gridRows = blocksToCover(image.height, step);

  const std::int32_t blocks = state.gridColumns * state.gridRows;
  state.regionStats.assign(blocks, RegionStats{});
  merge.regionCandidates.reset(blocks);
  merge.mergedInto.resize(blocks);
  for (std::int32_t slot = 0; slot < blocks; ++slot) merge.mergedInto[slot] = slot;
  state.labelMap = LabelMap(image.width, image.height, step, step);
  if (image.hasMask()) {
    unlabelOutside(state);
    accumulateBlockStatistics<true>(state);
    // A block without a pixel inside is no region.
    state.regionCount = 0;
    for (const RegionStats& block : state.regionStats) state.regionCount += block.count > 0.0;
  } else {
    accumulateBlockStatistics<false>(state);
    state.regionCount = blocks;
  }
  constexpr std::int32_t slotsPerPart = 4096;
  forEachPart(state, (blocks + slotsPerPart - 1) / slotsPerPart, [&](std::int64_t part) {
    const std::int32_t first = static_cast<std::int32_t>(part) * slotsPerPart;
    for (std::int32_t slot = first; slot < std::min(blocks, first + slotsPerPart); ++slot) {
      merge.regionCandidates.setCost(slot, state.regionStats[slot].cost(state.balanceWeight));
    }
  });
  seedCandidates(state, merge);

  Trace& trace = state.trace;
  trace.step = step;
  trace.gridColumns = state.gridColumns;
  trace.gridRows = state.gridRows;
  trace.initialRegionCount = state.regionCount;
}

}  // namespace superpixels
