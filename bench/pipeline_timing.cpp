#include "pipeline_timing.hpp"

#include <chrono>
#include <stdexcept>

#include "driver/output_tree.hpp"
#include "driver/settings_record.hpp"
#include "engine/shared_executor.hpp"
#include "output/write_results.hpp"
#include "parallel/executor.hpp"
#include "parallel/thread_pool_access.hpp"
#include "superpixels/io.hpp"

namespace superpixels::bench {

namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

PipelineTimes timePipeline(const std::string& path, const Options& options,
                           const std::string& outputBase, ThreadPool* pool, SimdPath simd) {
  PipelineTimes times;
  const Clock::time_point start = Clock::now();
  const ImageFile image = readImage(path);
  if (!image.ok()) throw std::runtime_error(path + ": " + image.error);
  const Clock::time_point loadedAt = Clock::now();

  // As segment() picks the executor and the thread count, with the path chosen here.
  Options bounded = options;
  if (pool != nullptr && bounded.threads == 0) bounded.threads = pool->threads();
  Executor callerAlone;
  Executor& executor = pool != nullptr                   ? executorOf(*pool)
                       : threadsFor(options.threads) == 1 ? callerAlone
                                                          : executorOf(ThreadPool::shared());
  const Result result = segment(image.bgr, bounded, cv::Mat(), executor, simd);
  const Clock::time_point segmentedAt = Clock::now();

  // As the tool writes them: the PNGs record the settings and the label text's checksum.
  RunOptions run;
  run.segmentation = options;
  ResultFiles files;
  files.boundaryImage = outputBase + boundarySuffix;
  files.partitionImage = outputBase + partitionSuffix;
  files.labels = outputBase + labelSuffix;
  const std::vector<FileFailure> failures = writeResults(
      files, image.bgr, result, settingsRecord(run), pool, threadsFor(options.threads));
  if (!failures.empty()) {
    throw std::runtime_error(failures.front().path + ": " + failures.front().reason);
  }
  const Clock::time_point end = Clock::now();

  const StageTimes& stages = result.times;
  times.loadLab = secondsBetween(start, loadedAt) + stages.labConversion;
  times.setUp = stages.setUp;
  times.merging = stages.merging;
  times.refinement = stages.refinement;
  // Whatever of the call the stage clocks leave out is counted with the last stage.
  times.connectivity = secondsBetween(loadedAt, segmentedAt) - stages.labConversion - stages.setUp -
                       stages.merging - stages.refinement;
  times.writers = secondsBetween(segmentedAt, end);
  times.total = secondsBetween(start, end);
  times.width = result.width;
  times.height = result.height;
  times.regionCount = result.regionCount;
  return times;
}

PipelineTimes faster(const PipelineTimes& a, const PipelineTimes& b) {
  return b.total < a.total ? b : a;
}

}  // namespace superpixels::bench
