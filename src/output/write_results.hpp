#pragma once

#include <string>
#include <vector>

#include "parallel/executor.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

// writeResults, with the files made and written side by side on `executor` (when given) by up to
// `threads` threads. The files and the failures are the same for every number of threads.
std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      Executor* executor, int threads);

}  // namespace superpixels
