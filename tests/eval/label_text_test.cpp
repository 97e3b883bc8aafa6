// Reading label files: the tool's label text and ground-truth label images.

#include <opencv2/imgcodecs.hpp>

#include "eval/label_files.hpp"
#include "eval/label_text.hpp"
#include "output/writers.hpp"
#include "test_support.hpp"

namespace superpixels::eval {
namespace {

using superpixels::testing::TempFolder;
using superpixels::testing::writeFile;

TEST(LabelText, ReadsWhatTheToolWritesAndCompactsLabels) {
  Result result;
  result.width = 3;
  result.height = 2;
  result.regionCount = 3;
  result.labels = {7, 7, 3, 3, 12, 12};
  LabelImage image;
  std::string error;
  ASSERT_TRUE(parseLabelText(labelText(result), image, error)) << error;
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.count, 3);
  // Renumbered in order of value: 3 -> 0, 7 -> 1, 12 -> 2.
  EXPECT_EQ(image.labels, (std::vector<std::int32_t>{1, 1, 0, 0, 2, 2}));

  // The largest label, far beyond the pixel count: 5 -> 0, 2147483647 -> 1.
  ASSERT_TRUE(parseLabelText("2147483647\t5\t\r\n", image, error)) << error;
  EXPECT_EQ(image.count, 2);
  EXPECT_EQ(image.labels, (std::vector<std::int32_t>{1, 0}));
}

TEST(LabelText, RefusesAnythingElseNamingTheLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "empty file"},
      {"0\t1\t\n", "line 1: line feed without carriage return"},
      {"0\t1\t\r\n0\t1\t\r", "line 2: carriage return without line feed"},
      {"0\t1\t\r\n0\t\r\n", "line 2: 1 labels, line 1 has 2"},
      {"0\t1\t\r\n0\t1\t2\t\r\n", "line 2: 3 labels, line 1 has 2"},
      {"0\t1\t\r\n0\t1\t", "line 2: file ends without CR LF"},
      {"0\t1", "line 1: file ends without tab and CR LF"},
      {"0\t1\r\n", "line 1: label followed by a carriage return instead of a tab"},
      {"0 \t\r\n", "line 1: label followed by a space instead of a tab"},
      {"0\t\t\r\n", "line 1: expected a digit, found a tab"},
      {"0\t-1\t\r\n", "line 1: expected a digit, found '-'"},
      {"0\t\r\n\r\n", "line 2: no labels"},
      {"2147483648\t\r\n", "line 1: label too large"},
  };
  for (const auto& [text, expected] : cases) {
    LabelImage image;
    std::string error;
    EXPECT_FALSE(parseLabelText(text, image, error)) << ::testing::PrintToString(text);
    EXPECT_EQ(error, expected) << ::testing::PrintToString(text);
  }
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
