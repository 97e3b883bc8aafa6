// superpixels_bench: our whole per-image pipeline against OpenCV's SLIC on the same photos, one
// thread, plus a synthetic large photo and its peak memory. See benchUsage() and docs/performance.md.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "baselines.hpp"
#include "bench_options.hpp"
#include "busy_machine.hpp"
#include "data_costs.hpp"
#include "header_cost.hpp"
#include "jobs_scaling.hpp"
#include "large_photo.hpp"
#include "output/atomic_file.hpp"
#include "peak_memory.hpp"
#include "pipeline_timing.hpp"
#include "png_encoding.hpp"
#include "report.hpp"
#include "simd_paths.hpp"
#include "superpixels/io.hpp"

namespace fs = std::filesystem;

namespace superpixels::bench {

namespace {

// A temporary folder for the result files, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "superpixels-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temp folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

Options engineOptions(const BenchOptions& bench, int count, int threads = 1) {
  Options options;
  options.superpixelCount = count;
  options.weightFactor = bench.weight;
  options.threads = threads;
  return options;
}

// The helper thread of the two-thread runs, made once: its start is no part of any image's time.
ThreadPool& twoThreads() {
  static ThreadPool pool(2);
  return pool;
}

// Ours and SLIC on one photo, alternately, `repeat` times each; the fastest run of each counts.
PhotoTiming timePhoto(const fs::path& photo, int count, const BenchOptions& bench,
                      const std::string& outputBase) {
  const ImageFile image = readImage(photo.string());
  if (!image.ok()) throw std::runtime_error(photo.string() + ": " + image.error);
  // SLIC is given the Lab image: its conversion is not counted.
  cv::Mat lab;
  cv::cvtColor(image.bgr, lab, cv::COLOR_BGR2Lab);
  PhotoTiming row;
  row.name = photo.filename().string();
  const Options options = engineOptions(bench, count);
  const Options two = engineOptions(bench, count, 2);
  // The three runs alternate, so that all see the same state of the machine.
  for (int r = 0; r < bench.repeat; ++r) {
    const PipelineTimes ours = timePipeline(photo.string(), options, outputBase);
    row.ours = r == 0 ? ours : faster(row.ours, ours);
    const PipelineTimes oursTwo = timePipeline(photo.string(), two, outputBase, &twoThreads());
    row.oursTwo = r == 0 ? oursTwo : faster(row.oursTwo, oursTwo);
    const double slic = runSlic(lab, count).seconds;
    row.slic = r == 0 ? slic : std::min(row.slic, slic);
  }
  return row;
}

std::string selfPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string("superpixels_bench") : self.string();
}

int compare(const BenchOptions& bench) {
  const std::vector<fs::path> photos = listPhotos(bench);
  const TempFolder temp;
  std::cout << "machine: " << machineDescription() << "; OpenCV " << CV_VERSION
            << ", one thread (cv::setNumThreads(1))" << std::endl;
  std::cout << "photos: " << photos.size() << " from " << bench.imagesFolder << ", weight "
            << bench.weight << ", fastest of " << bench.repeat << " runs each" << std::endl;

  std::vector<CountSummary> summaries;
  for (const int count : bench.counts) {
    if (photos.empty()) break;
    std::vector<PhotoTiming> rows;
    for (const fs::path& photo : photos) {
      rows.push_back(timePhoto(photo, count, bench, temp.path() + "/photo"));
      if (bench.perPhoto) printPhotoLine(std::cout, count, rows.back());
    }
    const PipelineTimes& first = rows.front().ours;
    const int longSide = std::max(first.width, first.height);
    const int shortSide = std::min(first.width, first.height);
    summaries.push_back(summarise(std::to_string(rows.size()) + " photos, " +
                                      std::to_string(longSide) + " x " + std::to_string(shortSide) +
                                      " (either way round)",
                                  count, rows));
  }

  MemoryFigures memory;
  if (bench.large) {
    const cv::Mat large = makeLargePhoto(bench.example, bench.largeWidth, bench.largeHeight);
    const std::string largePath = temp.path() + "/large.jpg";
    if (!cv::imwrite(largePath, large, {cv::IMWRITE_JPEG_QUALITY, 95})) {
      throw std::runtime_error(largePath + ": cannot write the large photo");
    }
    BenchOptions once = bench;
    once.repeat = std::min(bench.repeat, 2);
    const PhotoTiming row = timePhoto(largePath, bench.largeCount, once, temp.path() + "/large");
    printPhotoLine(std::cout, bench.largeCount, row);
    summaries.push_back(summarise(
        "synthetic " + std::to_string(bench.largeWidth) + " x " + std::to_string(bench.largeHeight),
        bench.largeCount, {row}));
    memory = measureInChild(selfPath(), largePath, engineOptions(bench, bench.largeCount, 2),
                            temp.path());
  }

  std::cout << "\n";
  printTable(std::cout, summaries);
  if (bench.large) {
    if (memory.ok) {
      std::cout << "\nPeak memory, " << bench.largeWidth << " x " << bench.largeHeight
                << " at count " << bench.largeCount << ", separate process: peak resident "
                << memory.peakBytes / (1 << 20) << " MiB, of which "
                << memory.baselineBytes / (1 << 20) << " MiB before the image was read; "
                << "beyond the decoded image and its Lab copy: "
                << memory.bytesPerPixelBeyondImages() << " bytes per pixel" << std::endl;
    } else {
      std::cout << "\nPeak memory: " << memory.problem << std::endl;
    }
  }
  return 0;
}

int writeLabels(const BenchOptions& bench) {
  const std::vector<fs::path> photos = listPhotos(bench);
  for (const int count : bench.counts) {
    for (const char* method : {"slic", "lsc", "seeds"}) {
      fs::create_directories(fs::path(bench.labelsFolder) /
                             (std::string(method) + "-" + std::to_string(count)));
    }
    for (const fs::path& photo : photos) {
      const ImageFile image = readImage(photo.string());
      if (!image.ok()) {
        std::cerr << photo.string() << ": " << image.error << std::endl;
        continue;
      }
      cv::Mat lab;
      cv::cvtColor(image.bgr, lab, cv::COLOR_BGR2Lab);
      const std::string stem = photo.stem().string();
      const auto write = [&](const char* method, const BaselineRun& run) {
        const fs::path path = fs::path(bench.labelsFolder) /
                              (std::string(method) + "-" + std::to_string(count)) / (stem + ".txt");
        const WriteStatus status = writeFileAtomically(path.string(), labelFileText(run.labels));
        if (!status.ok) throw std::runtime_error(path.string() + ": " + status.reason);
      };
      write("slic", runSlic(lab, count));
      write("lsc", runLsc(lab, count));
      write("seeds", runSeeds(image.bgr, count));
      std::cout << stem << " count " << count << ": written" << std::endl;
    }
  }
  return 0;
}

int jobsScaling(const BenchOptions& bench) {
  const TempFolder temp;
  const int count = bench.counts.front();
  std::cout << "machine: " << machineDescription() << std::endl;
  std::cout << "tool: " << bench.tool << ", count " << count << ", weight " << bench.weight
            << ", photos from " << bench.imagesFolder << std::endl;
  const JobsScaling scaling = measureJobsScaling(bench.tool, bench.imagesFolder, count,
                                                 bench.weight, bench.repeat, temp.path());
  if (!scaling.ok) {
    std::cerr << "superpixels_bench: " << scaling.problem << std::endl;
    return 1;
  }
  std::vector<double> jobsSpeedUps, defaultsSpeedUps;
  for (std::size_t r = 0; r < scaling.oneJob.size(); ++r) {
    const double one = scaling.images / scaling.oneJob[r];
    const double two = scaling.images / scaling.twoJobs[r];
    const double defaults = scaling.images / scaling.defaults[r];
    jobsSpeedUps.push_back(two / one);
    defaultsSpeedUps.push_back(defaults / one);
    std::cout << "round " << r + 1 << ": --jobs 1 --threads 1 " << one
              << " images/s, --jobs 2 --threads 1 " << two << " images/s (x" << two / one
              << "), defaults " << defaults << " images/s (x" << defaults / one << ")" << std::endl;
  }
  std::cout
      << "\n| images | --jobs 1 --threads 1 | --jobs 2 --threads 1 | ratio | defaults | ratio "
         "|\n|---:|---:|---:|---:|---:|---:|\n| "
      << scaling.images << " | " << scaling.images / median(scaling.oneJob) << " images/s | "
      << scaling.images / median(scaling.twoJobs) << " images/s | **" << median(jobsSpeedUps)
      << "** | " << scaling.images / median(scaling.defaults) << " images/s | **"
      << median(defaultsSpeedUps) << "** |\n\nRatios: images per second "
      << "against one image at a time on one thread, medians of the rounds." << std::endl;
  return 0;
}

int headerCost(const BenchOptions& bench) {
  const TempFolder temp;
  std::vector<cv::Mat> photos;
  for (const fs::path& photo : listPhotos(bench)) {
    const ImageFile image = readImage(photo.string());
    if (!image.ok()) throw std::runtime_error(photo.string() + ": " + image.error);
    photos.push_back(image.bgr);
  }
  std::cout << "machine: " << machineDescription() << "; OpenCV " << CV_VERSION
            << ", one thread; fastest of " << bench.repeat << " runs per file, medians over files"
            << std::endl;
  if (!photos.empty()) {
    printHeaderCost(std::cout, std::to_string(photos.size()) + " photos from " + bench.imagesFolder,
                    measureHeaderCost(photos, temp.path(), bench.repeat));
  }
  if (bench.large) {
    const cv::Mat large = makeLargePhoto(bench.example, bench.largeWidth, bench.largeHeight);
    printHeaderCost(
        std::cout,
        "synthetic " + std::to_string(bench.largeWidth) + " x " + std::to_string(bench.largeHeight),
        measureHeaderCost({large}, temp.path(), bench.repeat));
  }
  return 0;
}

int pngEncoding(const BenchOptions& bench) {
  const std::vector<fs::path> photos = listPhotos(bench);
  std::cout << "machine: " << machineDescription() << "; OpenCV " << CV_VERSION << ", fastest of "
            << bench.repeat << " runs per image, medians over the images; both pictures "
            << "(overlay and partition) of each, ratios ours / cv::imencode" << std::endl;
  ThreadPool& pool = twoThreads();
  std::vector<PngEncoding> rows;
  cv::Size size;
  for (const fs::path& photo : photos) {
    const ImageFile image = readImage(photo.string());
    if (!image.ok()) throw std::runtime_error(photo.string() + ": " + image.error);
    if (rows.empty()) size = image.bgr.size();
    rows.push_back(measurePngEncoding(image.bgr, engineOptions(bench, bench.counts.front()),
                                      bench.repeat, pool));
  }
  if (!rows.empty()) {
    printPngEncoding(std::cout,
                     std::to_string(rows.size()) + " photos, " + std::to_string(size.width) +
                         " x " + std::to_string(size.height) + ", count " +
                         std::to_string(bench.counts.front()),
                     rows, true);
  }
  if (bench.large) {
    const cv::Mat large = makeLargePhoto(bench.example, bench.largeWidth, bench.largeHeight);
    printPngEncoding(
        std::cout,
        "synthetic " + std::to_string(bench.largeWidth) + " x " +
            std::to_string(bench.largeHeight) + ", count " + std::to_string(bench.largeCount),
        {measurePngEncoding(large, engineOptions(bench, bench.largeCount), bench.repeat, pool)},
        rows.empty());
  }
  return 0;
}

}  // namespace

}  // namespace superpixels::bench

int main(int argc, char** argv) {
  using namespace superpixels::bench;
  BenchOptions options;
  std::string why;
  if (!parseBenchOptions(std::vector<std::string>(argv + 1, argv + argc), options, why)) {
    std::cerr << "superpixels_bench: " << why << "\n\n" << benchUsage();
    return 2;
  }
  // One thread: OpenCV would otherwise spread colour conversion and SLIC over every core.
  cv::setNumThreads(1);
  // The tool keeps freed memory for the next image (see src/driver/main.cpp); so does this
  // process, for both methods.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  try {
    switch (options.mode) {
      case BenchOptions::Mode::memory: {
        superpixels::Options engine;
        engine.superpixelCount = options.memoryCount;
        engine.weightFactor = options.weight;
        engine.threads = 2;
        return runMemoryProbe(options.memoryImage, engine, options.memoryOutputBase);
      }
      case BenchOptions::Mode::writeLabels:
        return writeLabels(options);
      case BenchOptions::Mode::jobsScaling:
        return jobsScaling(options);
      case BenchOptions::Mode::dataCosts:
        return measureDataCosts(options);
      case BenchOptions::Mode::headerCost:
        return headerCost(options);
      case BenchOptions::Mode::pngEncoding:
        return pngEncoding(options);
      case BenchOptions::Mode::simdPaths:
        return measureSimdPaths(options);
      case BenchOptions::Mode::busy:
        return measureBusyMachine(options, std::cout);
      case BenchOptions::Mode::help:
        std::cout << benchUsage();
        return 0;
      case BenchOptions::Mode::compare:
        return compare(options);
    }
  } catch (const std::exception& e) {
    std::cerr << "superpixels_bench: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
