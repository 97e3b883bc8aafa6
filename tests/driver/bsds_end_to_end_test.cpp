// One run of the tool over the 100 BSDS500 validation photos at count 200, then the properties
// every final segmentation must have, checked photo by photo from the files alone.

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "image/neighbours.hpp"
#include "support/files.hpp"

namespace superpixels::testing {
namespace {

constexpr int requestedCount = 200;

// Parses a label file: `height` lines of `width` tab-terminated decimal numbers, each line ended
// by CR LF. Returns false (with the reason) at the first deviation.
bool parseLabelFile(const std::string& text, int width, int height,
                    std::vector<std::int32_t>& labels, std::string& why) {
  labels.clear();
  std::size_t at = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t start = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      const std::size_t digits = at - start;
      if (digits == 0 || digits > 9 || (digits > 1 && text[start] == '0') || at >= text.size() ||
          text[at] != '\t') {
        why = "bad number at pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
        return false;
      }
      labels.push_back(std::stoi(text.substr(start, digits)));
      ++at;
    }
    if (text.compare(at, 2, "\r\n") != 0) {
      why = "line " + std::to_string(y + 1) + " does not end with CR LF after " +
            std::to_string(width) + " numbers";
      return false;
    }
    at += 2;
  }
  if (at != text.size()) {
    why = "bytes after line " + std::to_string(height);
    return false;
  }
  return true;
}

// Checks the final segmentation of one photo; returns the first problem, or an empty string.
// `weak` counts the superpixels that border fewer than three others.
std::string checkLabels(const std::vector<std::int32_t>& labels, int width, int height, int& weak) {
  const std::int32_t regionCount = *std::max_element(labels.begin(), labels.end()) + 1;
  if (regionCount > requestedCount) return std::to_string(regionCount) + " superpixels";
  std::vector<std::int32_t> seedOf(regionCount, -1);
  std::vector<std::set<std::int32_t>> bordering(regionCount);
  std::vector<std::uint8_t> reached(labels.size(), 0);
  for (std::int32_t seed = 0; seed < width * height; ++seed) {
    const std::int32_t label = labels[seed];
    for (const std::int32_t a : neighbourList(seed, width, height)) {
      if (labels[a] != label) bordering[label].insert(labels[a]);
    }
    if (reached[seed]) continue;
    if (seedOf[label] >= 0) {
      return "superpixel " + std::to_string(label) + " has a second piece at pixel (" +
             std::to_string(seed % width) + ", " + std::to_string(seed / width) + ")";
    }
    seedOf[label] = seed;
    reached[seed] = 1;
    std::vector<std::int32_t> stack{seed};
    while (!stack.empty()) {
      const std::int32_t z = stack.back();
      stack.pop_back();
      for (const std::int32_t a : neighbourList(z, width, height)) {
        if (!reached[a] && labels[a] == label) {
          reached[a] = 1;
          stack.push_back(a);
        }
      }
    }
  }
  weak = 0;
  for (std::int32_t label = 0; label < regionCount; ++label) {
    if (seedOf[label] < 0) return "label " + std::to_string(label) + " is unused: not compact";
    if (regionCount > 1 && bordering[label].empty()) {
      return "superpixel " + std::to_string(label) + " borders no other";
    }
    if (regionCount > 1 && bordering[label].size() < 3) ++weak;
  }
  return {};
}

TEST(BsdsEndToEnd, EveryPhotoEndsInConnectedCompactlyNumberedSuperpixels) {
  const fs::path photos = bsdsImagesDir();
  if (!fs::is_directory(photos)) {
    GTEST_SKIP() << "the BSDS500 validation photos are not in " << photos
                 << " (set SUPERPIXELS_SHARED_DIR to the folder holding data/bsds500-val)";
  }
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(photos)) {
    if (entry.path().extension() == ".jpg") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 100u);

  TempFolder temp;
  const std::string out = temp.str() + "/out";
  fs::create_directory(out);
  const std::string command = std::string("'") + SUPERPIXELS_EXECUTABLE + "' '" + photos.string() +
                              "' '" + out + "' " + std::to_string(requestedCount) + " 0.5 >'" +
                              temp.str() + "/stdout' 2>'" + temp.str() + "/stderr'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(temp / "stderr");
  EXPECT_EQ(readFile(temp / "stderr"), "");
  const std::string console = readFile(temp / "stdout");
  EXPECT_EQ(std::count(console.begin(), console.end(), '\n'), 200);

  const std::string superpixels = out + "/superpixels/", partitions = out + "/partition_results/";
  std::vector<std::int32_t> labels;
  int weakTotal = 0;
  std::string weakPhotos;
  for (const std::string& name : names) {
    SCOPED_TRACE("photo " + name);
    const cv::Mat photo = cv::imread((photos / (name + ".jpg")).string(), cv::IMREAD_COLOR);
    ASSERT_FALSE(photo.empty());
    EXPECT_NE(console.find("save superpixel to " + superpixels + "/" + name + "_KVR.png\n"),
              std::string::npos);
    const cv::Mat overlay = cv::imread(superpixels + name + "_KVR.png", cv::IMREAD_COLOR);
    const cv::Mat partition = cv::imread(partitions + name + "_partition.png", cv::IMREAD_COLOR);
    EXPECT_EQ(overlay.size(), photo.size()) << "overlay";
    EXPECT_EQ(partition.size(), photo.size()) << "partition image";

    const std::string text = readFile(partitions + name + ".txt");
    std::string why;
    if (!parseLabelFile(text, photo.cols, photo.rows, labels, why)) {
      ADD_FAILURE() << "label file: " << why;
      continue;
    }
    int weak = 0;
    EXPECT_EQ(checkLabels(labels, photo.cols, photo.rows, weak), "");
    // Every superpixel is one flat patch of the partition image.
    if (partition.size() == photo.size()) {
      std::vector<cv::Vec3b> colourOf(labels.size());
      std::vector<std::uint8_t> seen(labels.size(), 0);
      for (std::size_t p = 0; p < labels.size(); ++p) {
        const cv::Vec3b colour = partition.at<cv::Vec3b>(int(p) / photo.cols, int(p) % photo.cols);
        if (!seen[labels[p]]) {
          seen[labels[p]] = 1;
          colourOf[labels[p]] = colour;
        } else if (colour != colourOf[labels[p]]) {
          ADD_FAILURE() << "partition image: pixel " << p << " differs from superpixel "
                        << labels[p] << "'s colour";
          break;
        }
      }
    }
    weakTotal += weak;
    if (weak > 0) weakPhotos += name + " ";
  }
  // Three neighbouring superpixels are demanded of a region at its own turn of the connectivity
  // pass, not at the end: a neighbour processed later may hand the only piece that touched it to
  // a third region (see the connectivity tests). So this is a figure, not a check.
  RecordProperty("superpixelsBorderingFewerThanThree", weakTotal);
  if (weakTotal > 0) {
    std::cout << "note: " << weakTotal
              << " superpixels end up bordering fewer than three others, in " << weakPhotos
              << std::endl;
  }
}

}  // namespace
}  // namespace superpixels::testing
