#pragma once

#include <opencv2/core.hpp>

#include "parallel/executor.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// segment() with the stages' parts run on `executor` by up to options.threads threads (0: one per
// CPU the process may use), so that images segmented side by side share the executor's helpers.
Result segment(const cv::Mat& bgr, const Options& options, const cv::Mat& mask, Executor& executor);

}  // namespace superpixels
