#include "data_costs.hpp"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "bench_options.hpp"
#include "fastest.hpp"
#include "report.hpp"
#include "superpixels/describe.hpp"
#include "superpixels/io.hpp"

namespace fs = std::filesystem;

namespace superpixels::bench {

int measureDataCosts(const BenchOptions& bench) {
  const std::vector<fs::path> photos = listPhotos(bench);
  std::cout << "machine: " << machineDescription() << "; " << photos.size() << " photos from "
            << bench.imagesFolder << ", weight " << bench.weight << ", fastest of " << bench.repeat
            << " runs each, one thread" << std::endl;
  for (const int count : bench.counts) {
    std::vector<double> maskRatios, tableShares, tableMs, eight, four;
    for (const fs::path& photo : photos) {
      const ImageFile image = readImage(photo.string());
      if (!image.ok()) throw std::runtime_error(photo.string() + ": " + image.error);
      Options options;
      options.superpixelCount = count;
      options.weightFactor = bench.weight;
      options.threads = 1;
      const cv::Mat inside(image.bgr.size(), CV_8U, cv::Scalar(1));
      // The two runs alternate, so that both see the same state of the machine.
      double plain = 1e30, masked = 1e30;
      Result result;
      for (int r = 0; r < bench.repeat; ++r) {
        plain = std::min(plain, fastest(1, [&] { result = segment(image.bgr, options); }));
        masked = std::min(masked, fastest(1, [&] { segment(image.bgr, options, inside); }));
      }
      // The whole pipeline the tables are weighed against: read, segment, the three files.
      const fs::path out = fs::temp_directory_path() / "superpixels-bench-data-costs";
      ResultFiles files;
      files.boundaryImage = out.string() + "_KVR.png";
      files.partitionImage = out.string() + "_partition.png";
      files.labels = out.string() + ".txt";
      const double pipeline = fastest(bench.repeat, [&] {
        const ImageFile again = readImage(photo.string());
        writeResults(files, again.bgr, segment(again.bgr, options));
      });
      const double tables = fastest(bench.repeat, [&] {
        const std::string regions =
            regionsCsv(describeRegions(result.labels, result.width, result.height, image.bgr));
        const std::string pairs =
            adjacencyCsv(adjacency(result.labels, result.width, result.height));
        if (regions.empty() || pairs.empty()) throw std::runtime_error("no tables");
      });
      for (const std::string& path : {files.boundaryImage, files.partitionImage, files.labels}) {
        fs::remove(path);
      }
      Options sides = options;
      sides.connectivity = 4;
      const Result fourConnected = segment(image.bgr, sides);
      maskRatios.push_back(masked / plain);
      tableShares.push_back(tables / pipeline);
      tableMs.push_back(tables * 1e3);
      eight.push_back(result.regionCount);
      four.push_back(fourConnected.regionCount);
      if (bench.perPhoto) {
        std::cout << photo.filename().string() << " count " << count << ": engine " << plain * 1e3
                  << " ms, all-inside mask x" << masked / plain << "; tables " << tables * 1e3
                  << " ms = " << 100.0 * tables / pipeline << " % of the pipeline ("
                  << pipeline * 1e3 << " ms); superpixels " << result.regionCount
                  << " (8-connected), " << fourConnected.regionCount << " (4-connected)"
                  << std::endl;
      }
    }
    std::cout << "\ncount " << count << ", medians over " << photos.size()
              << " photos: all-inside mask / no mask " << median(maskRatios)
              << "; tables (CSV text included) " << median(tableMs) << " ms, "
              << 100.0 * median(tableShares) << " % of the pipeline (largest "
              << 100.0 * *std::max_element(tableShares.begin(), tableShares.end())
              << " %); superpixels " << median(eight) << " with connectivity 8, " << median(four)
              << " with 4" << std::endl;
  }
  return 0;
}

}  // namespace superpixels::bench
