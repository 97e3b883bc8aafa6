#include "output/writers.hpp"

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "driver/engine.hpp"
#include "test_support.hpp"

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

void expectSameImage(const cv::Mat& expected, const cv::Mat& actual) {
  ASSERT_EQ(actual.type(), expected.type());
  ASSERT_EQ(actual.size(), expected.size());
  for (int y = 0; y < expected.rows; ++y) {
    for (int x = 0; x < expected.cols; ++x) {
      ASSERT_EQ(actual.at<cv::Vec3b>(y, x), expected.at<cv::Vec3b>(y, x))
          << "first differing pixel (" << x << ", " << y << ")";
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
  expectOverlay(pixel, boundaryImage(pixel, {0}), {});
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

// Labels of every width, the extremes of the type included, are written in full: rows of tab-ended
// decimal labels, each row ended by CR LF.
TEST(LabelText, WritesLabelsOfEveryWidth) {
  Result result;
  result.width = 3;
  result.height = 2;
  result.labels = {7,  1234567,
                   0,  std::numeric_limits<std::int32_t>::min(),
                   42, std::numeric_limits<std::int32_t>::max()};
  EXPECT_EQ(labelText(result), "7\t1234567\t0\t\r\n-2147483648\t42\t2147483647\t\r\n");
  result.labels = {999, 1000, 5, 10, 99, 100};
  EXPECT_EQ(labelText(result), "999\t1000\t5\t\r\n10\t99\t100\t\r\n");
  result.width = 0;
  result.labels.clear();
  EXPECT_EQ(labelText(result), "\r\n\r\n");
}

// Runs of equal labels are formatted once and repeated: the text must equal label-by-label
// formatting for runs of every length, at row ends, and for labels of 1 to 11 characters.
TEST(LabelText, RunsMatchLabelByLabelFormatting) {
  std::mt19937 generator(17);
  const std::int32_t values[] = {0, 7, 42, 999, 12345, 1234567, -5, -2147483647 - 1, 2147483647};
  for (int round = 0; round < 60; ++round) {
    Result result;
    result.width = 1 + static_cast<int>(generator() % 40);
    result.height = 1 + static_cast<int>(generator() % 5);
    while (result.labels.size() < static_cast<std::size_t>(result.width) * result.height) {
      const std::int32_t label = round % 3 == 0 ? static_cast<std::int32_t>(generator() % 300)
                                                : values[generator() % std::size(values)];
      const std::size_t run = 1 + generator() % (round % 2 == 0 ? 3 : 30);
      result.labels.insert(result.labels.end(), run, label);
    }
    result.labels.resize(static_cast<std::size_t>(result.width) * result.height);
    std::string expected;
    for (int y = 0; y < result.height; ++y) {
      for (int x = 0; x < result.width; ++x) {
        expected += std::to_string(result.labels[y * result.width + x]) + "\t";
      }
      expected += "\r\n";
    }
    ASSERT_EQ(labelText(result), expected) << "round " << round;
  }
}

TEST(ResultPath, JoinsFolderAndRelativeBaseWithOneSlash) {
  EXPECT_EQ(resultPath("folder", "/sub/oak", boundarySuffix), "folder//sub/oak_KVR.png");
  EXPECT_EQ(resultPath("out/partition_results", "/oak", partitionSuffix),
            "out/partition_results//oak_partition.png");
  EXPECT_EQ(resultPath("out", "/a/b/oak", labelSuffix), "out//a/b/oak.txt");
  // An input that is itself an image has an empty relative base.
  EXPECT_EQ(resultPath("out", "", boundarySuffix), "out/_KVR.png");
}

TEST(ResultFiles, AreWrittenAsEncodedOverExistingFilesAndFailuresAreReported) {
  TempFolder folder;
  const cv::Mat source = colourfulImage(5, 4);
  Result result;
  result.width = 5;
  result.height = 4;
  result.regionCount = 2;
  result.labels = labelGrid(5, 4, [](int x, int) { return x < 2 ? 0 : 1; });
  result.colours = {Colour{component(3), component(5), component(8)},
                    Colour{component(19), component(0), component(11)}};
  const std::string base = folder.str() + "/oak";
  // Older, longer files of the same names must not survive in part.
  for (const char* suffix : {labelSuffix, partitionSuffix, boundarySuffix}) {
    writeFile(base + suffix, std::string(5000, 'x'));
  }
  ASSERT_TRUE(writeLabelFile(base + labelSuffix, result).ok);
  ASSERT_TRUE(writePartitionImage(base + partitionSuffix, result).ok);
  ASSERT_TRUE(writeBoundaryImage(base + boundarySuffix, source, result).ok);
  EXPECT_EQ(readFile(base + labelSuffix), labelText(result));
  expectSameImage(partitionImage(result), cv::imread(base + partitionSuffix, cv::IMREAD_COLOR));
  expectSameImage(boundaryImage(source, result.labels),
                  cv::imread(base + boundarySuffix, cv::IMREAD_COLOR));

  const std::string missing = folder.str() + "/missing/oak";
  for (const WriteStatus& status : {writeLabelFile(missing + labelSuffix, result),
                                    writePartitionImage(missing + partitionSuffix, result),
                                    writeBoundaryImage(missing + boundarySuffix, source, result)}) {
    EXPECT_FALSE(status.ok);
    EXPECT_FALSE(status.reason.empty());
  }
  EXPECT_FALSE(fs::exists(folder / "missing"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace superpixels::testing
