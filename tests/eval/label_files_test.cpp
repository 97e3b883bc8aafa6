// Reading segmentations for scoring: the tool's label files and ground-truth label images.

#include <opencv2/imgcodecs.hpp>

#include "eval/label_files.hpp"
#include "support/files.hpp"

namespace superpixels::eval {
namespace {

using superpixels::testing::TempFolder;
using superpixels::testing::writeFile;

TEST(LabelFiles, ReadsLabelTextCompactingItsLabels) {
  TempFolder temp;
  writeFile(temp / "a.txt", "7\t7\t3\t\r\n3\t12\t12\t\r\n");
  LabelImage image;
  std::string error;
  ASSERT_TRUE(loadLabelImage((temp / "a.txt").string(), image, error)) << error;
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.count, 3);
  // Renumbered in order of value: 3 -> 0, 7 -> 1, 12 -> 2.
  EXPECT_EQ(image.labels, (std::vector<std::int32_t>{1, 1, 0, 0, 2, 2}));

  writeFile(temp / "b.txt", "0\t1\t\n");
  EXPECT_FALSE(loadLabelImage((temp / "b.txt").string(), image, error));
  EXPECT_EQ(error, "line 1: line feed without carriage return");
}

TEST(LabelFiles, ReadsLabelImagesOfOneChannelOnly) {
  TempFolder temp;
  cv::Mat wide(2, 2, CV_16U);
  wide.at<std::uint16_t>(0, 0) = 1000;
  wide.at<std::uint16_t>(0, 1) = 65535;
  wide.at<std::uint16_t>(1, 0) = 1000;
  wide.at<std::uint16_t>(1, 1) = 0;
  const std::string widePath = (temp / "wide.png").string();
  ASSERT_TRUE(cv::imwrite(widePath, wide));
  LabelImage image;
  std::string error;
  ASSERT_TRUE(loadLabelImage(widePath, image, error)) << error;
  // 0 -> 0, 1000 -> 1, 65535 -> 2.
  EXPECT_EQ(image.labels, (std::vector<std::int32_t>{1, 2, 1, 0}));
  EXPECT_EQ(image.width, 2);

  const std::string colourPath = (temp / "colour.png").string();
  ASSERT_TRUE(cv::imwrite(colourPath, cv::Mat(2, 2, CV_8UC3, cv::Scalar(1, 2, 3))));
  EXPECT_FALSE(loadLabelImage(colourPath, image, error));
  EXPECT_EQ(error, "not a single-channel 8- or 16-bit label image");

  writeFile(temp / "broken.png", "not a png");
  EXPECT_FALSE(loadLabelImage((temp / "broken.png").string(), image, error));
  EXPECT_EQ(error, "cannot decode as an image");
  EXPECT_FALSE(loadLabelImage((temp / "missing.txt").string(), image, error));
  EXPECT_EQ(error, "cannot open (No such file or directory)");
}

}  // namespace
}  // namespace superpixels::eval
