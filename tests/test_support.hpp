#pragma once

// Helpers shared by the tests: temporary folders, tiny images, files and golden cases.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "image/image_data.hpp"
#include "refine/boundaries.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/segmentation_state.hpp"
#include "regions/set_up.hpp"

namespace superpixels::testing {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder() {
    std::random_device device;
    path_ = fs::temp_directory_path() /
            ("superpixels-test-" + std::to_string(::getpid()) + "-" + std::to_string(device()));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A BGR image of the given size filled by `colour(x, y)`.
template <typename F>
cv::Mat makeImage(int width, int height, F colour) {
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.at<cv::Vec3b>(y, x) = colour(x, y);
  }
  return image;
}

inline cv::Mat flatImage(int width, int height, cv::Vec3b colour = {90, 140, 200}) {
  return makeImage(width, height, [&](int, int) { return colour; });
}

// Pseudo-random colours, the same for the same seed.
inline cv::Mat noiseImage(int width, int height, unsigned seed = 7) {
  std::mt19937 generator(seed);
  return makeImage(width, height, [&](int, int) {
    return cv::Vec3b(generator() % 256, generator() % 256, generator() % 256);
  });
}

// Labels of the state renumbered by position in activeRegions (0 for slots not listed), as the
// label file numbers them.
inline std::vector<std::int32_t> compactLabels(const SegmentationState& state) {
  std::vector<std::int32_t> compact(state.labelMap.slotCount, 0);
  for (std::int32_t j = 0; j < state.regionCount; ++j) compact[state.activeRegions[j]] = j;
  std::vector<std::int32_t> labels;
  for (const std::int32_t slot : state.labelMap.labels) labels.push_back(compact[slot]);
  return labels;
}

// Checks that every live region's model counts exactly the pixels labelled with it, that no pixel
// carries the label of a region that is gone, and that regionCount is the number of live regions.
inline void expectConsistent(const SegmentationState& state) {
  const LabelMap& map = state.labelMap;
  std::vector<std::int64_t> pixels(map.slotCount, 0);
  for (const std::int32_t slot : map.labels) ++pixels[slot];
  std::int32_t live = 0;
  for (std::int32_t slot = 0; slot < map.slotCount; ++slot) {
    const double count = state.regionStats[slot].count;
    if (count > 0.0) ++live;
    EXPECT_EQ(static_cast<double>(pixels[slot]), count > 0.0 ? count : 0.0) << "region " << slot;
  }
  EXPECT_EQ(live, state.regionCount);
}

// Ascending indices of the pixels labelled `region`: the region's pixel set.
inline std::vector<std::int32_t> pixelsOf(const LabelMap& map, std::int32_t region) {
  std::vector<std::int32_t> pixels;
  for (std::size_t p = 0; p < map.labels.size(); ++p) {
    if (map.labels[p] == region) pixels.push_back(static_cast<std::int32_t>(p));
  }
  return pixels;
}

// Ascending indices of the pixels of `region` marked in the border bitmap.
inline std::vector<std::int32_t> boundaryPixelsOf(const SegmentationState& state,
                                                  std::int32_t region) {
  std::vector<std::int32_t> pixels;
  for (const std::int32_t p : pixelsOf(state.labelMap, region)) {
    if (isBoundary(state, p)) pixels.push_back(p);
  }
  return pixels;
}

// Every entry below `root`, relative, sorted, folders marked with a trailing "/".
inline std::vector<std::string> treeOf(const fs::path& root) {
  std::vector<std::string> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    entries.push_back(entry.is_directory() ? relative + "/" : relative);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// A state whose regions are given pixel by pixel. The grid has step 1, so every pixel index is
// also a valid slot id, and `labels` may use any of them. Region statistics are pooled from the
// single-pixel models in ascending pixel order, as merging leaves them.
struct Labelled {
  ImageData image;
  SegmentationState state;

  Labelled(const cv::Mat& bgr, const std::vector<std::int32_t>& labels)
      : image(makeImageData(bgr)) {
    setUpSegmentation(state, image, image.width * image.height, 0.5f);
    EXPECT_EQ(state.blockWidth, 1);
    state.labelMap.labels = labels;
    for (RegionStats& stats : state.regionStats) stats = RegionStats{};
    for (std::int32_t p = 0; p < static_cast<std::int32_t>(labels.size()); ++p) {
      state.regionStats[labels[p]].absorb(state.pixelStats(p));
    }
    listActiveRegions(state);
  }
};

inline fs::path testDataDir() { return SUPERPIXELS_TEST_DATA_DIR; }
inline fs::path sharedDir() { return SUPERPIXELS_SHARED_DIR; }
inline fs::path bsdsImagesDir() { return sharedDir() / "data" / "bsds500-val" / "images"; }

// First line where two texts differ, for readable failures of long files.
inline std::string firstDifference(const std::string& expected, const std::string& actual) {
  std::istringstream a(expected), b(actual);
  std::string lineA, lineB;
  for (int line = 1;; ++line) {
    const bool moreA = static_cast<bool>(std::getline(a, lineA));
    const bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB) return "texts are equal";
    if (lineA != lineB || moreA != moreB) {
      return "line " + std::to_string(line) + ": expected \"" + lineA.substr(0, 120) + "\" got \"" +
             lineB.substr(0, 120) + "\"";
    }
  }
}

}  // namespace superpixels::testing
