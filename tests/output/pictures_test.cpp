// The two pictures of a result: the boundary overlay and the partition image, and the compact
// numbering a result gives the engine's regions.

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "engine/pipeline.hpp"
#include "superpixels/io.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

using Position = std::pair<int, int>;  // (x, y)

// Colours without any black pixel, so a black output pixel can only come from the boundary rule.
cv::Mat colourfulImage(int width, int height) {
  std::mt19937 generator(5);
  return makeImage(width, height, [&](int, int) {
    return cv::Vec3b(1 + generator() % 255, 1 + generator() % 255, 1 + generator() % 255);
  });
}

// Labels of a width x height image: `label(x, y)` per pixel, row-major.
template <typename F>
std::vector<std::int32_t> labelGrid(int width, int height, F label) {
  std::vector<std::int32_t> labels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) labels.push_back(label(x, y));
  }
  return labels;
}

// Every pixel of `out` is black when listed in `black` (or in the top row or left column) and a
// copy of `source` otherwise.
void expectOverlay(const cv::Mat& source, const cv::Mat& out, std::set<Position> black) {
  ASSERT_EQ(out.type(), CV_8UC3);
  ASSERT_EQ(out.size(), source.size());
  for (int y = 0; y < source.rows; ++y) {
    for (int x = 0; x < source.cols; ++x) {
      const bool isBlack = x == 0 || y == 0 || black.count({x, y}) > 0;
      const cv::Vec3b expected = isBlack ? cv::Vec3b(0, 0, 0) : source.at<cv::Vec3b>(y, x);
      ASSERT_EQ(out.at<cv::Vec3b>(y, x), expected)
          << "first differing pixel (" << x << ", " << y << "), expected "
          << (isBlack ? "black" : "copy");
    }
  }
}

// A display component as the label map draws it: k / 21 computed in double, stored as float.
float component(int k) { return static_cast<float>(k / 21.0); }

TEST(BoundaryImage, OneLabelCopiesTheImageExceptTheTopRowAndLeftColumn) {
  const cv::Mat source = colourfulImage(7, 5);
  expectOverlay(source, boundaryImage(source, std::vector<std::int32_t>(35, 3)), {});
  // A single row or column, or a single pixel, lies entirely on the image's edge: all black.
  const cv::Mat row = colourfulImage(6, 1);
  expectOverlay(row, boundaryImage(row, std::vector<std::int32_t>(6, 0)), {});
  const cv::Mat column = colourfulImage(1, 6);
  expectOverlay(column, boundaryImage(column, std::vector<std::int32_t>(6, 0)), {});
  const cv::Mat pixel = colourfulImage(1, 1);
  expectOverlay(pixel, boundaryImage(pixel, std::vector<std::int32_t>{0}), {});
}

TEST(BoundaryImage, BordersAreDrawnRightOfAndBelowTheChangeOfLabel) {
  const cv::Mat source = colourfulImage(16, 6);
  {
    SCOPED_TRACE("vertical border between columns 9 and 10");
    const auto labels = labelGrid(16, 6, [](int x, int) { return x < 10 ? 1 : 2; });
    std::set<Position> black;
    for (int y = 0; y < 6; ++y) black.insert({10, y});
    expectOverlay(source, boundaryImage(source, labels), black);
  }
  {
    SCOPED_TRACE("horizontal border between rows 2 and 3");
    const auto labels = labelGrid(16, 6, [](int, int y) { return y < 3 ? 4 : 0; });
    std::set<Position> black;
    for (int x = 0; x < 16; ++x) black.insert({x, 3});
    expectOverlay(source, boundaryImage(source, labels), black);
  }
}

TEST(BoundaryImage, SinglePixelRegionBlackensTheTwoByTwoBlockItStarts) {
  const cv::Mat source = colourfulImage(6, 6);
  const auto inside = labelGrid(6, 6, [](int x, int y) { return x == 2 && y == 3 ? 5 : 1; });
  expectOverlay(source, boundaryImage(source, inside), {{2, 3}, {3, 3}, {2, 4}, {3, 4}});
  // In the bottom-right corner the block lies outside the image but for the pixel itself.
  const auto corner = labelGrid(6, 6, [](int x, int y) { return x == 5 && y == 5 ? 5 : 1; });
  expectOverlay(source, boundaryImage(source, corner), {{5, 5}});
}

TEST(PartitionImage, ComponentsBecomeTruncatedBytesInBlueGreenRedOrder) {
  // Pixel k shows superpixel k, whose red component is k / 21: every byte value the palette has.
  const int expectedBytes[21] = {0,   12,  24,  36,  48,  60,  72,  85,  97,  109, 121,
                                 133, 145, 157, 170, 182, 194, 206, 218, 230, 242};
  Result result;
  result.width = 7;
  result.height = 3;
  result.regionCount = 21;
  for (int k = 0; k < 21; ++k) {
    result.labels.push_back(k);
    result.colours.push_back(Colour{component(k), component(20 - k), component((k + 7) % 21)});
  }
  const cv::Mat image = partitionImage(result);
  ASSERT_EQ(image.type(), CV_8UC3);
  ASSERT_EQ(image.cols, 7);
  ASSERT_EQ(image.rows, 3);
  for (int k = 0; k < 21; ++k) {
    const cv::Vec3b expected(expectedBytes[(k + 7) % 21], expectedBytes[20 - k], expectedBytes[k]);
    EXPECT_EQ(image.at<cv::Vec3b>(k / 7, k % 7), expected) << "superpixel " << k;
  }
}

// A 3 x 2 segmentation whose pixels carry slot ids 4, 4, 9 / 4, 9, 9, slots 4 and 9 alive.
class SlotResultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = makeImageData(flatImage(3, 2));
    state_.image = &image_;
    LabelMap& map = state_.labelMap;
    map.slotCount = 12;
    map.red.assign(12, 0.0f);
    map.green.assign(12, 0.0f);
    map.blue.assign(12, 0.0f);
    map.red[4] = component(7);
    map.green[4] = component(14);
    map.blue[4] = component(20);
    map.red[9] = component(1);
    map.labels = {4, 4, 9, 4, 9, 9};
    state_.regionStats.assign(12, RegionStats{});
    state_.regionStats[4].count = 3.0;
    state_.regionStats[9].count = 3.0;
    state_.activeRegions = {4, 9};
    state_.regionCount = 2;
  }

  ImageData image_;
  SegmentationState state_;
};

TEST_F(SlotResultTest, FilesNumberRegionsByPositionAmongTheLiveOnesAndShowTheirColours) {
  const Result result = makeResult(state_);
  EXPECT_EQ(labelText(result), "0\t0\t1\t\r\n0\t1\t1\t\r\n");
  const cv::Mat image = partitionImage(result);
  const cv::Vec3b slot4(242, 170, 85), slot9(0, 0, 12);
  const cv::Vec3b expected[6] = {slot4, slot4, slot9, slot4, slot9, slot9};
  for (int p = 0; p < 6; ++p) {
    EXPECT_EQ(image.at<cv::Vec3b>(p / 3, p % 3), expected[p]) << "pixel " << p;
  }
}

}  // namespace
}  // namespace superpixels::testing
