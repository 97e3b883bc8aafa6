#include "bench_options.hpp"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "driver/folder_walk.hpp"

namespace superpixels::bench {

namespace {

bool parseInt(const std::string& text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || parsed < 0 || parsed > 1000000000) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool parseCounts(const std::string& text, std::vector<int>& counts) {
  counts.clear();
  std::istringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    int count = 0;
    if (!parseInt(item, count) || count < 1) return false;
    counts.push_back(count);
  }
  return !counts.empty();
}

}  // namespace

std::string benchUsage() {
  return "Usage: superpixels_bench [OPTIONS]\n"
         "       superpixels_bench --write-labels FOLDER [--images DIR] [--counts LIST]\n"
         "       superpixels_bench --jobs-scaling [--images DIR] [--counts K] [--repeat R]\n"
         "       superpixels_bench --data-costs [--images DIR] [--counts LIST] [--repeat R]\n"
         "       superpixels_bench --header-cost [--images DIR] [--limit N] [--repeat R] "
         "[--no-large]\n"
         "       superpixels_bench --png-encoding [--images DIR] [--counts K] [--limit N] "
         "[--repeat R] [--no-large]\n"
         "       superpixels_bench --simd-paths [--images DIR] [--counts LIST] [--limit N] "
         "[--repeat R]\n"
         "       superpixels_bench --busy [--images DIR] [--limit N] [--counts K] [--repeat R]\n"
         "\n"
         "Times the whole per-image pipeline (decode and Lab, set-up, merging, refinement,\n"
         "connectivity, the three writers) against OpenCV's SLIC on the same photos, one thread,\n"
         "and measures the peak memory on a synthetic large photo in a separate process.\n"
         "\n"
         "  --images DIR     photos to use (default: the BSDS500 val photos of the shared folder)\n"
         "  --counts LIST    superpixel counts, comma-separated (default 200,1000)\n"
         "  --weight W       our weighting factor (default 0.5)\n"
         "  --limit N        use the first N photos in name order (default: all)\n"
         "  --repeat R       runs per photo, count and method; the fastest counts (default 3)\n"
         "  --no-large       skip the synthetic large photo\n"
         "  --large-count K  superpixels for the large photo (default 2000)\n"
         "  --large-size WxH size of the large photo (default 4000x3000)\n"
         "  --quiet          no line per photo, only the summary\n"
         "  --help           show this text\n"
         "  --write-labels FOLDER\n"
         "                   write SLIC, LSC and SEEDS label files (the tool's .txt format) to\n"
         "                   FOLDER/<method>-<count>/<photo>.txt instead of timing\n"
         "  --jobs-scaling   instead of the above, run the tool over the photos R times each with\n"
         "                   --jobs 1 --threads 1, --jobs 2 --threads 1 and its defaults in\n"
         "                   turn (count: the first of --counts) and compare the images per\n"
         "                   second\n"
         "  --tool PATH      the tool for --jobs-scaling (default: the one built beside)\n"
         "  --data-costs     instead of the above, time per photo, side by side: the engine with\n"
         "                   no mask and with an all-inside mask, the per-superpixel table and "
         "the\n"
         "                   adjacency against the whole pipeline, and count superpixels with\n"
         "                   connectivity 8 and 4\n"
         "  --header-cost    instead of the above, encode the photos (and the large one) as JPEG,\n"
         "                   PNG, TIFF and WebP and time the header check, the data check and\n"
         "                   readImage against decoding\n"
         "  --png-encoding   instead of the above, segment the photos (count: the first of\n"
         "                   --counts) and the large one, and time our PNG encoder on both\n"
         "                   result pictures, one and two threads, against cv::imencode, with\n"
         "                   the files' sizes\n"
         "  --simd-paths     instead of the above, time every stage on one and two threads with\n"
         "                   refinement's border search on each path the processor runs\n"
         "                   (scalar, SSE2, AVX2), interleaved, against scalar and SLIC\n"
         "  --busy           instead of the above, time the engine with its default threads\n"
         "                   against one thread, R rounds side by side (count: the first of\n"
         "                   --counts), on the machine as it is and with one competing process\n"
         "                   spinning per CPU\n"
         "  --memory IMAGE COUNT OUTPUT_BASE\n"
         "                   internal: run the pipeline once and print its peak memory\n";
}

bool parseBenchOptions(const std::vector<std::string>& arguments, BenchOptions& options,
                       std::string& why) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= arguments.size()) {
        why = argument + " needs a value";
        return false;
      }
      out = arguments[++i];
      return true;
    };
    std::string text;
    if (argument == "--images") {
      if (!value(options.imagesFolder)) return false;
    } else if (argument == "--counts") {
      if (!value(text)) return false;
      if (!parseCounts(text, options.counts)) {
        why = "--counts '" + text + "' is not a list of positive integers";
        return false;
      }
    } else if (argument == "--weight") {
      if (!value(text)) return false;
      options.weight = std::strtof(text.c_str(), nullptr);
    } else if (argument == "--limit" || argument == "--repeat" || argument == "--large-count") {
      if (!value(text)) return false;
      int number = 0;
      if (!parseInt(text, number)) {
        why = argument + " '" + text + "' is not a non-negative integer";
        return false;
      }
      if (argument == "--limit") options.limit = number;
      if (argument == "--repeat") options.repeat = number < 1 ? 1 : number;
      if (argument == "--large-count") options.largeCount = number < 1 ? 1 : number;
    } else if (argument == "--large-size") {
      if (!value(text)) return false;
      const std::size_t x = text.find('x');
      if (x == std::string::npos || !parseInt(text.substr(0, x), options.largeWidth) ||
          !parseInt(text.substr(x + 1), options.largeHeight) || options.largeWidth < 1 ||
          options.largeHeight < 1) {
        why = "--large-size '" + text + "' is not WIDTHxHEIGHT";
        return false;
      }
    } else if (argument == "--no-large") {
      options.large = false;
    } else if (argument == "--quiet") {
      options.perPhoto = false;
    } else if (argument == "--write-labels") {
      if (!value(options.labelsFolder)) return false;
      options.mode = BenchOptions::Mode::writeLabels;
    } else if (argument == "--help") {
      options.mode = BenchOptions::Mode::help;
    } else if (argument == "--data-costs") {
      options.mode = BenchOptions::Mode::dataCosts;
    } else if (argument == "--jobs-scaling") {
      options.mode = BenchOptions::Mode::jobsScaling;
    } else if (argument == "--busy") {
      options.mode = BenchOptions::Mode::busy;
    } else if (argument == "--header-cost") {
      options.mode = BenchOptions::Mode::headerCost;
    } else if (argument == "--png-encoding") {
      options.mode = BenchOptions::Mode::pngEncoding;
    } else if (argument == "--simd-paths") {
      options.mode = BenchOptions::Mode::simdPaths;
    } else if (argument == "--tool") {
      if (!value(options.tool)) return false;
    } else if (argument == "--memory") {
      if (!value(options.memoryImage) || !value(text) || !value(options.memoryOutputBase)) {
        return false;
      }
      if (!parseInt(text, options.memoryCount) || options.memoryCount < 1) {
        why = "--memory COUNT '" + text + "' is not a positive integer";
        return false;
      }
      options.mode = BenchOptions::Mode::memory;
    } else {
      why = "unknown argument " + argument;
      return false;
    }
  }
  return true;
}

std::vector<std::filesystem::path> listPhotos(const BenchOptions& options) {
  std::vector<std::filesystem::path> photos;
  for (const auto& entry : std::filesystem::directory_iterator(options.imagesFolder)) {
    if (entry.is_regular_file() && isImagePath(entry.path().string())) {
      photos.push_back(entry.path());
    }
  }
  std::sort(photos.begin(), photos.end());
  if (options.limit > 0 && photos.size() > static_cast<std::size_t>(options.limit)) {
    photos.resize(options.limit);
  }
  return photos;
}

}  // namespace superpixels::bench
