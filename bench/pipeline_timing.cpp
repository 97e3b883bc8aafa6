#include "pipeline_timing.hpp"

#include <chrono>
#include <stdexcept>

#include "driver/engine.hpp"
#include "image/image_data.hpp"
#include "output/writers.hpp"

namespace superpixels::bench {

namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

void check(const WriteStatus& status, const std::string& path) {
  if (!status.ok) throw std::runtime_error(path + ": " + status.reason);
}

}  // namespace

StageTimes timePipeline(const std::string& path, const Options& options,
                        const std::string& outputBase) {
  StageTimes times;
  const Clock::time_point start = Clock::now();
  ImageData image;
  const LoadStatus loaded = loadImage(path, image);
  if (!loaded.ok) throw std::runtime_error(path + ": " + loaded.reason);
  const Clock::time_point loadedAt = Clock::now();

  const Result result = segmentImage(image, options);
  const Clock::time_point segmentedAt = Clock::now();

  const std::string boundaryPath = outputBase + boundarySuffix;
  check(writeBoundaryImage(boundaryPath, image.sourceImage, result), boundaryPath);
  const Clock::time_point boundaryAt = Clock::now();
  const std::string partitionPath = outputBase + partitionSuffix;
  check(writePartitionImage(partitionPath, result), partitionPath);
  const Clock::time_point partitionAt = Clock::now();
  const std::string labelPath = outputBase + labelSuffix;
  check(writeLabelFile(labelPath, result), labelPath);
  const Clock::time_point end = Clock::now();

  const Figures& figures = result.figures;
  times.loadLab = secondsBetween(start, loadedAt);
  times.setUp = figures.setUpSeconds;
  times.merging = figures.mergeSeconds;
  times.refinement = figures.refineSeconds;
  // The engine's own stage clocks leave out the making of the result; it is counted here.
  times.connectivity =
      secondsBetween(loadedAt, segmentedAt) - times.setUp - times.merging - times.refinement;
  times.boundaryWriter = secondsBetween(segmentedAt, boundaryAt);
  times.partitionWriter = secondsBetween(boundaryAt, partitionAt);
  times.labelWriter = secondsBetween(partitionAt, end);
  times.total = secondsBetween(start, end);
  times.width = image.width;
  times.height = image.height;
  times.regionCount = result.regionCount;
  return times;
}

StageTimes faster(const StageTimes& a, const StageTimes& b) { return b.total < a.total ? b : a; }

}  // namespace superpixels::bench
