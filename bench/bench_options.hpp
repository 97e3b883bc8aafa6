#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace superpixels::bench {

// What one run of the benchmark does. Plain aggregate with defaults; `parseBenchOptions` fills it.
struct BenchOptions {
  enum class Mode {
    compare,      // our pipeline stage by stage against SLIC, plus the large photo and its memory
    memory,       // internal: one pipeline run on `memoryImage`, prints peak memory figures
    writeLabels,  // SLIC, LSC and SEEDS label files into `labelsFolder`
    jobsScaling,  // whole runs of the tool with --jobs 1 and --jobs 2
    dataCosts,    // the tables, an all-inside mask and 4-connectivity against the plain pipeline
    headerCost,   // the header check against the decoder on TIFF and WebP files
    pngEncoding,  // the result pictures' PNG encoder against cv::imencode
    simdPaths,    // every stage per thread count and SIMD path
    busy,         // default threads against one, idle and with one competing process per CPU
    help,         // the usage text
  };
  Mode mode = Mode::compare;
  std::string imagesFolder = SUPERPIXELS_BENCH_IMAGES;  // photos (.jpg, .png, .ppm, .bmp)
  std::vector<int> counts = {200, 1000};                // superpixel counts measured
  float weight = 0.5f;                                  // our weighting factor
  int limit = 0;                                        // photos used, in name order; 0 = all
  int repeat = 3;     // runs per photo, count and method; the fastest run counts
  bool large = true;  // also the synthetic large photo
  int largeCount = 2000;
  int largeWidth = 4000;
  int largeHeight = 3000;
  std::string example = SUPERPIXELS_BENCH_EXAMPLE;  // photo the large one is made from
  bool perPhoto = true;                             // one line per photo and count
  std::string memoryImage;                          // --memory: image file
  int memoryCount = 0;                              // --memory: superpixel count
  std::string memoryOutputBase;                     // --memory: where the results go
  std::string labelsFolder;                         // --write-labels: output folder
  std::string tool = SUPERPIXELS_BENCH_TOOL;        // --jobs-scaling: the tool's executable
};

// Parses the command line (without the program name). Returns false and sets `why` on bad input.
bool parseBenchOptions(const std::vector<std::string>& arguments, BenchOptions& options,
                       std::string& why);

// Usage text, ending with a line feed.
std::string benchUsage();

// The photos of `options.imagesFolder` (not its sub-folders), in name order, at most
// `options.limit` of them when a limit is set.
std::vector<std::filesystem::path> listPhotos(const BenchOptions& options);

}  // namespace superpixels::bench
