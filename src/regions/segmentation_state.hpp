#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "image/image_data.hpp"
#include "parallel/executor.hpp"
#include "parallel/simd_path.hpp"
#include "regions/label_map.hpp"
#include "regions/region_stats.hpp"
#include "regions/trace.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// Weight of the spatial spread before refinement computes the image's own.
constexpr double initialBalanceWeight = 0.17;

// The model of one image that every stage reads and leaves for the next: the grid of initial
// blocks, the label map, every region's statistics, the list of live regions and the balance
// weight. Each stage keeps its own working data to itself (merging: regions/merge_data.hpp,
// refinement: refine/refinement_data.hpp) and releases it when it ends. One state per image,
// passed explicitly; two states share nothing, so images can be segmented side by side on several
// threads. Per-region tables are indexed by slot id.
struct SegmentationState {
  // The image being segmented; must outlive the state.
  const ImageData* image = nullptr;
  // Where the stages that split their work exactly run its parts, and on how many threads at
  // most; none: on the calling thread alone. Must outlive the state.
  Executor* executor = nullptr;
  int threads = 1;
  // The caller's request to stop (Options::stop), checked by stopIfAsked; may be null.
  const std::atomic<bool>* stop = nullptr;
  // The instruction set refinement marks border pixels with; the labels are the same on every
  // path (tests and the benchmark choose one, segment() the fastest the processor runs).
  SimdPath simdPath = detectedSimdPath();

  // Grid of initial blocks.
  std::int32_t blockWidth = 0;
  std::int32_t blockHeight = 0;
  std::int32_t gridColumns = 0;
  std::int32_t gridRows = 0;

  // Per slot, the region's model; a region is live while its count is positive (merging zeroes
  // the count of the region it absorbs, the connectivity pass empties dissolved regions).
  std::vector<RegionStats> regionStats;
  LabelMap labelMap;
  // Ascending slot ids of the live regions and their number, built by merging and rebuilt by the
  // connectivity pass.
  std::vector<std::int32_t> activeRegions;
  std::int32_t regionCount = 0;
  // Per slot, its position in activeRegions, or -1 when it is not listed.
  std::vector<std::int32_t> positions;

  float weightFactor = 0.0f;
  // Weight of the spatial spread in a region's cost: initialBalanceWeight while merging, the
  // image's own from refinement on.
  double balanceWeight = initialBalanceWeight;

  Trace trace;

  // The image's larger dimension: the largest position coordinate.
  double longerSide() const { return std::max(image->width, image->height); }

  // region.absorbPixel or releasePixel of the pixel at column x, row y: a pixel's model is derived
  // from the Lab image where it is needed instead of being stored (a table would take 152 bytes
  // per pixel).
  void absorbPixel(RegionStats& region, std::int32_t x, std::int32_t y) const {
    const std::uint8_t* lab = image->lab(x, y);
    region.absorbPixel(x, y, lab[0], lab[1], lab[2]);
  }
  void releasePixel(RegionStats& region, std::int32_t x, std::int32_t y) const {
    const std::uint8_t* lab = image->lab(x, y);
    region.releasePixel(x, y, lab[0], lab[1], lab[2]);
  }
};

// Position of region `id` in `activeRegions`, or -1 when it is not active. A table lookup, inline:
// a binary search over activeRegions took 15 % of the refinement's instructions, and the call
// alone 1 % once it was a lookup.
inline std::int32_t positionOf(const SegmentationState& state, std::int32_t id) {
  return state.positions[id];
}

// Throws SegmentationStopped when the caller asked to stop. Stages call it between steps that take
// well under a second on the largest images, never per pixel.
inline void stopIfAsked(const SegmentationState& state) {
  if (state.stop != nullptr && state.stop->load(std::memory_order_relaxed)) {
    throw SegmentationStopped();
  }
}

// Runs task(i) for i in 0 .. count - 1 on the state's executor, or in order on this thread.
template <typename Task>
void forEachPart(const SegmentationState& state, std::int64_t count, Task&& task) {
  if (state.executor == nullptr || state.threads <= 1 || count <= 1) {
    for (std::int64_t i = 0; i < count; ++i) task(i);
    return;
  }
  const std::function<void(std::int64_t)> function = task;
  state.executor->run(count, state.threads, function);
}

// Rebuilds `activeRegions`, `regionCount` and `positions`: the live regions are those whose model
// counts pixels.
void listActiveRegions(SegmentationState& state);

}  // namespace superpixels
