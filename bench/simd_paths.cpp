#include "simd_paths.hpp"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>
#include <opencv2/imgproc.hpp>

#include "baselines.hpp"
#include "driver/output_tree.hpp"
#include "report.hpp"
#include "superpixels/io.hpp"

namespace fs = std::filesystem;

namespace superpixels::bench {

namespace {

// One thread count and path: per photo, the fastest run of each stage set, and SLIC's time.
struct Variant {
  int threads = 1;
  SimdPath path = SimdPath::scalar;
  std::vector<PipelineTimes> fastest;  // per photo
};

std::string formatted(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Median over the photos of a stage, in milliseconds.
double medianMs(const Variant& v, double PipelineTimes::*stage) {
  std::vector<double> values;
  for (const PipelineTimes& t : v.fastest) values.push_back(t.*stage * 1000.0);
  return median(values);
}

// Median over the photos of the ratio of a stage against `base`'s.
double medianRatio(const Variant& v, const Variant& base, double PipelineTimes::*stage) {
  std::vector<double> values;
  for (std::size_t i = 0; i < v.fastest.size(); ++i) {
    values.push_back(v.fastest[i].*stage / (base.fastest[i].*stage));
  }
  return median(values);
}

}  // namespace

int measureSimdPaths(const BenchOptions& bench) {
  const std::vector<fs::path> photos = listPhotos(bench);
  std::vector<SimdPath> paths;
  for (const SimdPath path : {SimdPath::scalar, SimdPath::sse2, SimdPath::avx2}) {
    if (simdPathSupported(path)) paths.push_back(path);
  }
  const fs::path outputBase =
      fs::temp_directory_path() / ("superpixels-bench-simd-" + std::to_string(::getpid()));
  ThreadPool two(2);
  std::cout << "machine: " << machineDescription() << "; photos: " << photos.size() << " from "
            << bench.imagesFolder << ", weight " << bench.weight << ", fastest of "
            << bench.repeat << " interleaved runs each; paths here:";
  for (const SimdPath path : paths) std::cout << " " << simdPathName(path);
  std::cout << "\n";
  for (const int count : bench.counts) {
    std::vector<Variant> variants;
    for (const int threads : {1, 2}) {
      for (const SimdPath path : paths) variants.push_back({threads, path, {}});
    }
    std::vector<double> slic;
    for (const fs::path& photo : photos) {
      const ImageFile image = readImage(photo.string());
      if (!image.ok()) throw std::runtime_error(photo.string() + ": " + image.error);
      cv::Mat lab;
      cv::cvtColor(image.bgr, lab, cv::COLOR_BGR2Lab);
      for (Variant& v : variants) v.fastest.emplace_back();
      slic.push_back(0.0);
      // Round after round every variant once, so that all see the same state of the machine;
      // each round starts with the next one (the first after SLIC finds colder caches).
      for (int r = 0; r < bench.repeat; ++r) {
        for (std::size_t k = 0; k < variants.size(); ++k) {
          Variant& v = variants[(k + r) % variants.size()];
          Options options;
          options.superpixelCount = count;
          options.weightFactor = bench.weight;
          options.threads = v.threads;
          const PipelineTimes t = timePipeline(photo.string(), options, outputBase.string(),
                                               v.threads > 1 ? &two : nullptr, v.path);
          v.fastest.back() = r == 0 ? t : faster(v.fastest.back(), t);
        }
        const double seconds = runSlic(lab, count).seconds;
        slic.back() = r == 0 ? seconds : std::min(slic.back(), seconds);
      }
    }
    for (const char* suffix : {boundarySuffix, partitionSuffix, labelSuffix}) {
      std::error_code ignored;
      fs::remove(outputBase.string() + suffix, ignored);
    }
    std::cout << "\nCount " << count << ", medians over the photos in ms (ratios: medians of "
              << "the per-photo ratios)\n\n"
              << "| threads | path | load + Lab | set-up | merging | refinement | connectivity "
                 "| writers | whole | refinement / scalar | whole / scalar | whole / SLIC |\n"
              << "|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (const Variant& v : variants) {
      const Variant& scalar = variants[v.threads == 1 ? 0 : paths.size()];
      std::vector<double> againstSlic;
      for (std::size_t i = 0; i < slic.size(); ++i) {
        againstSlic.push_back(v.fastest[i].total / slic[i]);
      }
      std::cout << "| " << v.threads << " | " << simdPathName(v.path);
      for (const auto stage : {&PipelineTimes::loadLab, &PipelineTimes::setUp,
                               &PipelineTimes::merging, &PipelineTimes::refinement,
                               &PipelineTimes::connectivity, &PipelineTimes::writers,
                               &PipelineTimes::total}) {
        std::cout << " | " << formatted("%.1f", medianMs(v, stage));
      }
      std::cout << " | " << formatted("%.2f", medianRatio(v, scalar, &PipelineTimes::refinement))
                << " | " << formatted("%.2f", medianRatio(v, scalar, &PipelineTimes::total))
                << " | " << formatted("%.2f", median(againstSlic)) << " |\n";
    }
    std::cout << "\nSLIC, one thread: " << formatted("%.1f", median(slic) * 1000.0) << " ms\n";
  }
  return 0;
}

}  // namespace superpixels::bench
