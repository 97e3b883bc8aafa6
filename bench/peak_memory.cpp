#include "peak_memory.hpp"

#include <cstdio>
#include <iostream>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pipeline_timing.hpp"

namespace superpixels::bench {

namespace {

std::int64_t peakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;  // Linux reports kilobytes
}

}  // namespace

int runMemoryProbe(const std::string& imagePath, const Options& options,
                   const std::string& outputBase) {
  // Touch the decoders, the encoder and the colour conversion once, so that their one-time
  // set-up is not counted against the image.
  std::vector<std::uint8_t> bytes;
  cv::Mat tiny(8, 8, CV_8UC3, cv::Scalar(10, 20, 30)), lab;
  cv::imencode(".png", tiny, bytes);
  cv::imdecode(bytes, cv::IMREAD_COLOR);
  cv::imencode(".jpg", tiny, bytes);
  cv::imdecode(bytes, cv::IMREAD_COLOR);
  cv::cvtColor(tiny, lab, cv::COLOR_BGR2Lab);

  const std::int64_t baseline = peakResidentBytes();
  try {
    const PipelineTimes times = timePipeline(imagePath, options, outputBase);
    const std::int64_t peak = peakResidentBytes();
    std::cout << "memory pixels=" << static_cast<std::int64_t>(times.width) * times.height
              << " baseline=" << baseline << " peak=" << peak << std::endl;
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
  return 0;
}

MemoryFigures measureInChild(const std::string& self, const std::string& imagePath,
                             const Options& options, const std::string& outputFolder) {
  MemoryFigures figures;
  const std::string command = "'" + self + "' --memory '" + imagePath + "' " +
                              std::to_string(options.superpixelCount) + " '" + outputFolder +
                              "/memory-probe' --weight " + std::to_string(options.weightFactor);
  FILE* child = ::popen(command.c_str(), "r");
  if (child == nullptr) {
    figures.problem = "cannot start " + self;
    return figures;
  }
  char line[512];
  while (std::fgets(line, sizeof line, child) != nullptr) {
    long long pixels = 0, baseline = 0, peak = 0;
    if (std::sscanf(line, "memory pixels=%lld baseline=%lld peak=%lld", &pixels, &baseline,
                    &peak) == 3) {
      figures.ok = true;
      figures.pixels = pixels;
      figures.baselineBytes = baseline;
      figures.peakBytes = peak;
    }
  }
  const int status = ::pclose(child);
  if (!figures.ok)
    figures.problem = "the memory probe failed (status " + std::to_string(status) + ")";
  return figures;
}

}  // namespace superpixels::bench
