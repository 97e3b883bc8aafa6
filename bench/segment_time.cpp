// Wall-clock seconds of superpixels::segment on one image, the engine alone (decoding excluded):
//   segment_time IMAGE COUNT WEIGHT REPEATS
// Prints one line per run, wall-clock and CPU seconds of the calling thread (the engine runs on it
// alone), so that callers can take the median or the fastest.

#include <malloc.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <iostream>

#include <opencv2/imgcodecs.hpp>

#include "superpixels/superpixels.hpp"

namespace {

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: segment_time IMAGE COUNT WEIGHT REPEATS\n";
    return 2;
  }
  // As in the tool (src/driver/main.cpp): without it, profiles of repeated runs show page faults
  // the tool does not have.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const cv::Mat image = cv::imread(argv[1], cv::IMREAD_COLOR);
  if (image.empty()) {
    std::cerr << argv[1] << ": cannot decode image\n";
    return 1;
  }
  superpixels::Options options;
  options.superpixelCount = std::atoi(argv[2]);
  options.weightFactor = static_cast<float>(std::atof(argv[3]));
  options.threads = 1;
  for (int run = std::atoi(argv[4]); run > 0; --run) {
    const auto start = std::chrono::steady_clock::now();
    const double startCpu = threadSeconds();
    const superpixels::Result result = superpixels::segment(image, options);
    const double cpu = threadSeconds() - startCpu;
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::cout << wall.count() << " " << cpu << " " << result.regionCount << "\n";
  }
}
