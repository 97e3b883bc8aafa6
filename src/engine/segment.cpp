#include <chrono>
#include <stdexcept>

#include "engine/pipeline.hpp"
#include "labelling/connectivity.hpp"
#include "parallel/thread_pool_access.hpp"
#include "refine/refinement.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"

namespace superpixels {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Below this many pixels the default threads (0) keep a call on its calling thread. Such a call
// spends most of its few milliseconds merging, which one thread does, and the parts that helpers
// could take are tens of microseconds each, about what waking a helper costs on a loaded machine.
// On 2 CPUs shared with other work, 2 threads ran at 1.09, 0.99, 1.15 and 1.12 x the speed of one
// on 64, 128, 192 and 256 pixels square photo crops (medians of 9 rounds, the noise some 10 %):
// no gain to be sure of below 128 x 128. A number asked for explicitly is kept.
constexpr std::int64_t pixelsForHelpers = 128 * 128;

// options.threads, with the default made 1 for a small image and `threads` for the others.
Options withDefaultThreads(const cv::Mat& bgr, const Options& options, int threads) {
  Options bounded = options;
  if (bounded.threads == 0) {
    bounded.threads = static_cast<std::int64_t>(bgr.total()) < pixelsForHelpers ? 1 : threads;
  }
  return bounded;
}

}  // namespace

void runStages(SegmentationState& state, const ImageData& image, const Options& options,
               StageTimes* times) {
  StageTimes ignored;
  StageTimes& spent = times != nullptr ? *times : ignored;
  {
    MergeData merge;
    stopIfAsked(state);
    auto start = Clock::now();
    setUpSegmentation(state, merge, image, options.superpixelCount, options.weightFactor);
    spent.setUp = secondsSince(start);

    stopIfAsked(state);
    start = Clock::now();
    mergeToCount(state, merge, options.superpixelCount);
    spent.merging = secondsSince(start);
  }  // the merge data is released here, before refinement allocates its own

  stopIfAsked(state);
  auto start = Clock::now();
  refine(state);
  spent.refinement = secondsSince(start);

  stopIfAsked(state);
  start = Clock::now();
  enforceConnectivity(state, options.connectivity);
  spent.connectivity = secondsSince(start);
}

Result makeResult(const SegmentationState& state) {
  const LabelMap& map = state.labelMap;
  Result result;
  result.width = state.image->width;
  result.height = state.image->height;
  result.regionCount = state.regionCount;

  // Slot id -> compact label; a slot missing from the list maps to 0, a pixel outside the mask to
  // -1.
  std::vector<std::int32_t> compact(static_cast<std::size_t>(map.slotCount) + 1, 0);
  compact[0] = -1;
  result.colours.resize(state.regionCount);
  for (std::int32_t j = 0; j < state.regionCount; ++j) {
    const std::int32_t slot = state.activeRegions[j];
    compact[slot + 1] = j;
    result.colours[j] = Colour{map.red[slot], map.green[slot], map.blue[slot]};
  }
  result.labels.resize(map.labels.size());
  // noRegion is -1: shifted by one, every label indexes the table.
  for (std::size_t p = 0; p < map.labels.size(); ++p) {
    result.labels[p] = compact[map.labels[p] + 1];
  }
  return result;
}

Result segment(const cv::Mat& bgr, const Options& options, const cv::Mat& mask,
               Executor& executor, SimdPath path) {
  if (const OptionsCheck check = options.check(); !check.ok()) {
    throw std::invalid_argument(check.message);
  }
  const int threads = threadsFor(options.threads);
  StageTimes times;
  auto start = Clock::now();
  const ImageData image = makeImageData(bgr, mask, &executor, threads);
  times.labConversion = secondsSince(start);
  Result result;
  {
    SegmentationState state;
    state.executor = &executor;
    state.threads = threads;
    state.stop = options.stop;
    state.simdPath = path;
    runStages(state, image, options, &times);
    start = Clock::now();
    result = makeResult(state);
  }
  // Renumbering and releasing the model belong to the last stage.
  times.connectivity += secondsSince(start);
  result.times = times;
  return result;
}

Result segment(const cv::Mat& bgr, const Options& options, const cv::Mat& mask) {
  const Options bounded = withDefaultThreads(bgr, options, 0);
  if (threadsFor(bounded.threads) == 1) {
    Executor callerAlone;
    return segment(bgr, bounded, mask, callerAlone);
  }
  // The process's pool, so that a program of many small calls starts no threads per call.
  return segment(bgr, bounded, mask, executorOf(ThreadPool::shared()));
}

Result segment(const cv::Mat& bgr, const Options& options, ThreadPool& pool, const cv::Mat& mask) {
  return segment(bgr, withDefaultThreads(bgr, options, pool.threads()), mask, executorOf(pool));
}

}  // namespace superpixels
