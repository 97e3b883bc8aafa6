#include "driver/engine.hpp"

#include <chrono>
#include <stdexcept>

#include "labelling/connectivity.hpp"
#include "refine/refinement.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"

namespace superpixels {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

void runSegmentation(SegmentationState& state, const ImageData& image, const Options& options) {
  auto start = Clock::now();
  setUpSegmentation(state, image, options.superpixelCount, options.weightFactor);
  Figures& figures = state.figures;
  figures.setUpSeconds = secondsSince(start);

  start = Clock::now();
  mergeToCount(state, options.superpixelCount);
  figures.mergeSeconds = secondsSince(start);

  start = Clock::now();
  refine(state);
  figures.refineSeconds = secondsSince(start);

  start = Clock::now();
  enforceConnectivity(state);
  figures.connectivitySeconds = secondsSince(start);
}

Result makeResult(const SegmentationState& state) {
  const LabelMap& map = state.labelMap;
  Result result;
  result.width = state.image->width;
  result.height = state.image->height;
  result.regionCount = state.regionCount;

  // Slot id -> compact label; a slot missing from the list maps to 0.
  std::vector<std::int32_t> compact(map.slotCount, 0);
  result.colours.resize(state.regionCount);
  for (std::int32_t j = 0; j < state.regionCount; ++j) {
    const std::int32_t slot = state.activeRegions[j];
    compact[slot] = j;
    result.colours[j] = Colour{map.red[slot], map.green[slot], map.blue[slot]};
  }
  result.labels.resize(map.labels.size());
  for (std::size_t p = 0; p < map.labels.size(); ++p) result.labels[p] = compact[map.labels[p]];
  result.figures = state.figures;
  return result;
}

Result segmentImage(const ImageData& image, const Options& options) {
  std::string why;
  if (!options.isValid(&why)) throw std::invalid_argument(why);
  SegmentationState state;
  runSegmentation(state, image, options);
  return makeResult(state);
}

Result segment(const cv::Mat& bgr, const Options& options) {
  std::string why;
  if (!options.isValid(&why)) throw std::invalid_argument(why);
  const ImageData image = makeImageData(bgr);
  return segmentImage(image, options);
}

}  // namespace superpixels
