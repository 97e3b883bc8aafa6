#pragma once

#include <opencv2/core.hpp>

#include "parallel/executor.hpp"
#include "parallel/simd_path.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// segment() with the stages' parts run on `executor` by up to options.threads threads (0: one per
// CPU the process may use), so that images segmented side by side share the executor's helpers.
// `path`: the instruction set refinement uses (the benchmark times each; the labels are the same).
Result segment(const cv::Mat& bgr, const Options& options, const cv::Mat& mask, Executor& executor,
               SimdPath path = detectedSimdPath());

}  // namespace superpixels
