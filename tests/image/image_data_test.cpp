// Neighbour lists, the checks of makeImageData and the Lab copy.

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/image_data.hpp"
#include "image/neighbours.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

std::vector<std::int32_t> listOf(std::int32_t p, std::int32_t width, std::int32_t height) {
  const NeighbourList list = neighbourList(p, width, height);
  return {list.begin(), list.end()};
}

using Indices = std::vector<std::int32_t>;

// The order is column by column, top to bottom, so it is not ascending by index.
TEST(NeighbourList, FixedOrder) {
  // 4 x 3 image: index = y * 4 + x.
  EXPECT_EQ(listOf(0, 4, 3), (Indices{4, 1, 5}));
  EXPECT_EQ(listOf(11, 4, 3), (Indices{6, 10, 7}));  // last pixel: p-w-1, p-1, p-w
  EXPECT_EQ(listOf(5, 4, 3), (Indices{0, 4, 8, 1, 9, 2, 6, 10}));
  EXPECT_EQ(listOf(3, 4, 3), (Indices{2, 6, 7}));        // top-right corner
  EXPECT_EQ(listOf(8, 4, 3), (Indices{4, 5, 9}));        // bottom-left corner
  EXPECT_EQ(listOf(1, 4, 3), (Indices{0, 4, 5, 2, 6}));  // top edge
  EXPECT_TRUE(listOf(0, 1, 1).empty());
  // One pixel wide: only the pixels above and below, above first; one pixel high: left, right.
  EXPECT_EQ(listOf(0, 1, 4), (Indices{1}));
  EXPECT_EQ(listOf(2, 1, 4), (Indices{1, 3}));
  EXPECT_EQ(listOf(3, 1, 4), (Indices{2}));
  EXPECT_EQ(listOf(2, 4, 1), (Indices{1, 3}));
}

// Inner pixels have 8 neighbours, edge pixels 5, corners 3, and the relation is symmetric.
TEST(NeighbourList, CountsAndSymmetryOverWholeImages) {
  for (const auto& [width, height] : {std::pair{2, 2}, {5, 4}, {7, 3}, {3, 9}}) {
    for (std::int32_t p = 0; p < width * height; ++p) {
      const std::int32_t x = p % width;
      const std::int32_t y = p / width;
      const int onEdge = (x == 0 || x == width - 1) + (y == 0 || y == height - 1);
      const Indices list = listOf(p, width, height);
      ASSERT_EQ(list.size(), onEdge == 0   ? 8u
                             : onEdge == 1 ? 5u
                                           : 3u)
          << width << "x" << height << " pixel " << p;
      for (const std::int32_t q : list) {
        const Indices back = listOf(q, width, height);
        ASSERT_EQ(std::count(back.begin(), back.end(), p), 1) << "pixel " << p << " and " << q;
      }
    }
  }
}

TEST(MakeImageData, RejectsUnusableMats) {
  EXPECT_THROW(makeImageData(cv::Mat()), std::invalid_argument);
  EXPECT_THROW(makeImageData(cv::Mat(3, 3, CV_8UC1, cv::Scalar(0))), std::invalid_argument);
  EXPECT_THROW(makeImageData(cv::Mat(3, 3, CV_8UC4, cv::Scalar(0))), std::invalid_argument);
  EXPECT_THROW(makeImageData(cv::Mat(3, 3, CV_16UC3, cv::Scalar(0))), std::invalid_argument);
}

// OpenCV's 8-bit Lab: L scaled to 0..255, a and b offset by 128, bytes in the order L, a, b.
TEST(MakeImageData, LabBytesOfKnownColours) {
  const cv::Mat bgr = makeImage(4, 1, [](int x, int) {
    const cv::Vec3b colours[] = {{255, 255, 255}, {0, 0, 0}, {0, 0, 255}, {128, 128, 128}};
    return colours[x];
  });
  const ImageData image = makeImageData(bgr);
  ASSERT_EQ(image.width, 4);
  ASSERT_EQ(image.height, 1);
  ASSERT_EQ(image.labImage.type(), CV_8UC3);
  const std::uint8_t expected[4][3] = {
      {255, 128, 128}, {0, 128, 128}, {136, 208, 195}, {137, 128, 128}};
  for (int p = 0; p < 4; ++p) {
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(image.lab(p)[k], expected[p][k]) << "pixel " << p << " byte " << k;
    }
  }
}

// A view into a larger image has padded rows; lab(p) must still address pixel (p % w, p / w).
TEST(MakeImageData, LabAccessFollowsRowsOfAView) {
  const cv::Mat big = noiseImage(9, 7, 3);
  const cv::Mat view = big(cv::Rect(2, 1, 5, 4));
  ASSERT_FALSE(view.isContinuous());
  const ImageData image = makeImageData(view);
  ASSERT_EQ(image.width, 5);
  ASSERT_EQ(image.height, 4);
  cv::Mat lab;
  cv::cvtColor(view.clone(), lab, cv::COLOR_BGR2Lab);
  for (std::int32_t p = 0; p < 20; ++p) {
    const cv::Vec3b want = lab.at<cv::Vec3b>(p / 5, p % 5);
    for (int k = 0; k < 3; ++k) {
      ASSERT_EQ(image.lab(p)[k], want[k]) << "first differing pixel " << p << " byte " << k;
    }
  }
}

}  // namespace
}  // namespace superpixels::testing
