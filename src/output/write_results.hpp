#pragma once

#include <array>
#include <string>
#include <vector>

#include "output/atomic_file.hpp"
#include "superpixels/io.hpp"

namespace superpixels {

// writeResults, with the files made and written side by side on `pool` (when given) by up to
// `threads` threads. The files and the failures are the same for every number of threads. With
// `written`, it receives the identity of every file written, in the order of ResultFiles
// (boundary image, partition image, labels, regions, adjacency; all 0 for a file not written).
std::vector<FileFailure> writeResults(const ResultFiles& files, const cv::Mat& bgr,
                                      const Result& result, const std::string& record,
                                      ThreadPool* pool, int threads,
                                      std::array<FileIdentity, 5>* written = nullptr);

// writeResultsTogether, on `pool` (when given) by up to `threads` threads.
std::vector<FileFailure> writeResultsTogether(const ResultFiles& files, const cv::Mat& bgr,
                                              const Result& result, const std::string& record,
                                              ThreadPool* pool, int threads);

}  // namespace superpixels
