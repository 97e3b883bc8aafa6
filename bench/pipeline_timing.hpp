#pragma once

#include <cstdint>
#include <string>

#include "parallel/simd_path.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels::bench {

// Wall-clock seconds of every stage of the tool's per-image pipeline.
struct PipelineTimes {
  double loadLab = 0.0;  // decode and Lab conversion
  double setUp = 0.0;
  double merging = 0.0;
  double refinement = 0.0;
  double connectivity = 0.0;  // the connectivity pass and the compact result labels
  double writers = 0.0;       // the three result files, encoded and written
  double total = 0.0;         // everything above, end to end
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t regionCount = 0;
};

// Runs the tool's pipeline on the image file `path` (the same stages and writers as the tool) and
// writes the three result files to `outputBase` + the writers' suffixes. With `pool`, the
// image's work is split over options.threads threads there, as the tool splits it; without, it
// runs on this thread (the process's pool for more than one thread). Refinement finds borders on
// `simd`. Throws std::runtime_error when the image cannot be read or a file cannot be written.
PipelineTimes timePipeline(const std::string& path, const Options& options,
                           const std::string& outputBase, ThreadPool* pool = nullptr,
                           SimdPath simd = detectedSimdPath());

// The faster of two runs, stage by stage judged by the total.
PipelineTimes faster(const PipelineTimes& a, const PipelineTimes& b);

}  // namespace superpixels::bench
