// The entry point's options beyond count and weight, on the golden inputs and on hand-made masks:
// masks (region of interest) and 4-connected superpixels.

#include <nlohmann/json.hpp>
#include <opencv2/imgproc.hpp>

#include "superpixels/io.hpp"
#include "superpixels/superpixels.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

struct GoldenInput {
  std::string name;
  cv::Mat bgr;
  Options options;
};

// The inputs and settings of the vendored golden cases.
std::vector<GoldenInput> goldenInputs() {
  std::vector<GoldenInput> inputs;
  for (const auto& entry : fs::directory_iterator(testDataDir() / "golden")) {
    if (!entry.is_directory()) continue;
    const nlohmann::json job = nlohmann::json::parse(readFile(entry.path() / "case.json"));
    GoldenInput input;
    input.name = entry.path().filename().string();
    const fs::path png = entry.path() / "input.png";
    input.bgr = readImage((fs::exists(png) ? png : entry.path() / "input.jpg").string()).bgr;
    input.options.superpixelCount = job["count"].get<int>();
    input.options.weightFactor =
        static_cast<float>(std::strtod(job["weight"].get<std::string>().c_str(), nullptr));
    inputs.push_back(input);
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const GoldenInput& a, const GoldenInput& b) { return a.name < b.name; });
  return inputs;
}

// Number of connected pieces of the pixels labelled `label`, through 4 or 8 neighbours.
int piecesOf(const Result& result, std::int32_t label, int connectivity) {
  cv::Mat members(result.height, result.width, CV_8U);
  for (int p = 0; p < result.width * result.height; ++p) {
    members.data[p] = result.labels[p] == label ? 255 : 0;
  }
  cv::Mat components;
  return cv::connectedComponents(members, components, connectivity) - 1;
}

// Every superpixel 0 .. regionCount - 1 is used and is one piece; -1 exactly outside the mask.
void expectOnePieceEach(const Result& result, int connectivity, const cv::Mat& mask = cv::Mat()) {
  std::vector<int> used(result.regionCount, 0);
  for (int p = 0; p < result.width * result.height; ++p) {
    const std::int32_t l = result.labels[p];
    const bool inside = mask.empty() || mask.data[p] != 0;
    ASSERT_EQ(l == -1, !inside) << "pixel " << p;
    if (l >= 0) {
      ASSERT_LT(l, result.regionCount);
      used[l] = 1;
    }
  }
  for (std::int32_t l = 0; l < result.regionCount; ++l) {
    ASSERT_EQ(used[l], 1) << "superpixel " << l << " has no pixel";
    ASSERT_EQ(piecesOf(result, l, connectivity), 1) << "superpixel " << l;
  }
}

TEST(Masks, AllInsideGivesExactlyTheResultWithoutMask) {
  for (const GoldenInput& input : goldenInputs()) {
    SCOPED_TRACE(input.name);
    const Result plain = segment(input.bgr, input.options);
    const cv::Mat all(input.bgr.size(), CV_8U, cv::Scalar(1));
    const Result masked = segment(input.bgr, input.options, all);
    EXPECT_EQ(labelText(masked), labelText(plain));
    EXPECT_EQ(cv::norm(partitionImage(masked), partitionImage(plain), cv::NORM_INF), 0.0);
  }
}

TEST(Masks, EmptyMaskGivesNoSuperpixel) {
  const cv::Mat image = noiseImage(30, 20, 4);
  const Result result = segment(image, Options{}, cv::Mat(20, 30, CV_8U, cv::Scalar(0)));
  EXPECT_EQ(result.regionCount, 0);
  EXPECT_TRUE(result.colours.empty());
  EXPECT_EQ(std::count(result.labels.begin(), result.labels.end(), -1), 600);
  EXPECT_EQ(cv::countNonZero(partitionImage(result).reshape(1)), 0) << "black outside";
  EXPECT_EQ(labelText(result).substr(0, 6), "-1\t-1\t");
}

// A mask of the usual shapes: a disc with a hole, two separate parts, a one-pixel line and single
// pixels. Every superpixel lies inside, in one piece; the overlay draws the mask's edge.
TEST(Masks, HolesSeparatePartsAndThinLines) {
  const cv::Mat image = makeImage(90, 60, [](int x, int y) {
    return cv::Vec3b(static_cast<std::uint8_t>(3 * x), static_cast<std::uint8_t>(4 * y),
                     static_cast<std::uint8_t>((x * y) % 200));
  });
  cv::Mat mask(60, 90, CV_8U, cv::Scalar(0));
  cv::circle(mask, {30, 30}, 22, cv::Scalar(255), cv::FILLED);
  cv::circle(mask, {30, 30}, 7, cv::Scalar(0), cv::FILLED);           // a hole
  cv::rectangle(mask, {62, 5}, {85, 25}, cv::Scalar(7), cv::FILLED);  // a separate part
  cv::line(mask, {62, 40}, {88, 52}, cv::Scalar(1));                  // a thin line
  mask.at<std::uint8_t>(2, 2) = 9;                                    // single pixels
  mask.at<std::uint8_t>(58, 88) = 9;
  for (const int connectivity : {8, 4}) {
    for (const std::int32_t count : {1, 5, 30, 400}) {
      SCOPED_TRACE("connectivity " + std::to_string(connectivity) + ", count " +
                   std::to_string(count));
      Options options;
      options.superpixelCount = count;
      options.connectivity = connectivity;
      const Result result = segment(image, options, mask);
      ASSERT_NO_FATAL_FAILURE(expectOnePieceEach(result, connectivity, mask));
      // The parts that do not touch cannot share a superpixel: at least five of them.
      EXPECT_GE(result.regionCount, 5);
      const cv::Mat overlay = boundaryImage(image, result.labels);
      EXPECT_EQ(overlay.at<cv::Vec3b>(30, 8), cv::Vec3b(0, 0, 0)) << "the disc's left edge";
      EXPECT_EQ(overlay.at<cv::Vec3b>(55, 50), image.at<cv::Vec3b>(55, 50)) << "outside, far off";
      const cv::Mat partition = partitionImage(result);
      EXPECT_EQ(partition.at<cv::Vec3b>(30, 30), cv::Vec3b(0, 0, 0)) << "in the hole";
    }
  }
}

TEST(Masks, CountCountsSuperpixelsInside) {
  const cv::Mat image = noiseImage(120, 80, 9);
  cv::Mat mask(80, 120, CV_8U, cv::Scalar(0));
  mask(cv::Rect(0, 0, 60, 40)).setTo(1);  // a quarter of the image
  Options options;
  options.superpixelCount = 50;
  const Result masked = segment(image, options, mask);
  // Blocks are as fine inside the quarter as they would be over a whole image for the count:
  // about 50 superpixels inside, not a quarter of 50.
  EXPECT_GT(masked.regionCount, 35);
  EXPECT_LE(masked.regionCount, 50);
}

TEST(Masks, UnusableMasksAreRefused) {
  const cv::Mat image = noiseImage(12, 10);
  EXPECT_THROW(segment(image, Options{}, cv::Mat(10, 11, CV_8U, cv::Scalar(1))),
               std::invalid_argument);
  EXPECT_THROW(segment(image, Options{}, cv::Mat(10, 12, CV_8UC3, cv::Scalar(1))),
               std::invalid_argument);
  EXPECT_THROW(segment(image, Options{}, cv::Mat(10, 12, CV_16U, cv::Scalar(1))),
               std::invalid_argument);
}

// With 4-connectivity every superpixel of every golden input is one 4-connected piece; with the
// default, some are 8-connected only.
TEST(Connectivity, FourMakesEverySuperpixelOneFourConnectedPiece) {
  int cornerOnly = 0;
  for (const GoldenInput& input : goldenInputs()) {
    SCOPED_TRACE(input.name);
    Options four = input.options;
    four.connectivity = 4;
    ASSERT_NO_FATAL_FAILURE(expectOnePieceEach(segment(input.bgr, four), 4));
    const Result eight = segment(input.bgr, input.options);
    ASSERT_NO_FATAL_FAILURE(expectOnePieceEach(eight, 8));
    for (std::int32_t l = 0; l < eight.regionCount; ++l) cornerOnly += piecesOf(eight, l, 4) > 1;
  }
  EXPECT_GT(cornerOnly, 0) << "the test would not notice 8-connected pieces";
}

TEST(Connectivity, OnlyFourAndEightAreOptions) {
  Options options;
  for (const std::int32_t bad : {0, 1, 6, -8, 16}) {
    options.connectivity = bad;
    EXPECT_EQ(options.check().field, OptionField::connectivity) << bad;
    EXPECT_THROW(segment(noiseImage(8, 8), options), std::invalid_argument) << bad;
  }
}

}  // namespace
}  // namespace superpixels::testing
