// The engine against the plain reference engine (tests/reference): the same image and options must
// give the same labels after merging, after refinement and at the end, and the same figures, bit
// for bit. Inputs: synthetic images built for ties, degenerate shapes and extreme counts, random
// small images, the golden inputs at other counts and weights, and BSDS500 photos when present.

#include <cmath>
#include <functional>

#include <opencv2/imgcodecs.hpp>

#include "engine/pipeline.hpp"
#include "labelling/connectivity.hpp"
#include "reference/reference_engine.hpp"
#include "refine/refinement.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "support/engine.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

// Index and values of the first differing pixel, or "" when the label maps are equal.
std::string firstDifferentLabel(const std::vector<std::int32_t>& expected,
                                const std::vector<std::int32_t>& actual, std::int32_t width) {
  if (expected.size() != actual.size()) {
    return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size());
  }
  for (std::size_t p = 0; p < expected.size(); ++p) {
    if (expected[p] != actual[p]) {
      return "first difference at x=" + std::to_string(p % width) +
             " y=" + std::to_string(p / width) + ": expected " + std::to_string(expected[p]) +
             " got " + std::to_string(actual[p]);
    }
  }
  return "";
}

// Runs both engines stage by stage on `bgr` and demands identical labels and figures.
void expectSameRun(const cv::Mat& bgr, std::int32_t count, float weight) {
  SCOPED_TRACE(std::to_string(bgr.cols) + " x " + std::to_string(bgr.rows) + ", count " +
               std::to_string(count) + ", weight " + std::to_string(weight));
  const ImageData image = makeImageData(bgr);
  reference::SegmentationState plain;
  SegmentationState fast;
  MergeData merge;
  const Trace& want = plain.trace;
  const Trace& got = fast.trace;

  reference::setUpSegmentation(plain, image, count, weight);
  setUpSegmentation(fast, merge, image, count, weight);
  EXPECT_EQ(got.step, want.step);
  EXPECT_EQ(got.initialRegionCount, want.initialRegionCount);
  EXPECT_EQ(got.seededCandidates, want.seededCandidates);

  EXPECT_EQ(mergeToCount(fast, merge, count), reference::mergeToCount(plain, count));
  EXPECT_EQ(got.mergedRegionCount, want.mergedRegionCount);
  std::string difference =
      firstDifferentLabel(reference::compactLabels(plain), compactLabels(fast), image.width);
  ASSERT_EQ(difference, "") << "after merging";
  expectConsistent(fast);

  reference::refine(plain);
  refine(fast);
  EXPECT_EQ(got.sumColour, want.sumColour);
  EXPECT_EQ(got.sumSpatial, want.sumSpatial);
  EXPECT_EQ(got.balanceWeight, want.balanceWeight);
  EXPECT_EQ(got.initialProposals, want.initialProposals);
  EXPECT_EQ(got.refinePasses, want.refinePasses);
  EXPECT_EQ(got.passEnergies, want.passEnergies);
  EXPECT_EQ(got.passMovesPending, want.passMovesPending);
  EXPECT_EQ(got.passMovesApplied, want.passMovesApplied);
  EXPECT_EQ(got.proposalsLeftAfterLastPass, want.proposalsLeftAfterLastPass);
  difference =
      firstDifferentLabel(reference::compactLabels(plain), compactLabels(fast), image.width);
  ASSERT_EQ(difference, "") << "after refinement";
  expectConsistent(fast);

  reference::enforceConnectivity(plain);
  enforceConnectivity(fast);
  EXPECT_EQ(got.dissolvedRegions, want.dissolvedRegions);
  EXPECT_EQ(got.keptWholeImageRegions, want.keptWholeImageRegions);
  EXPECT_EQ(got.finalRegionCount, want.finalRegionCount);
  EXPECT_EQ(got.activeRegions, want.activeRegions);
  expectConsistent(fast);
  const Result result = makeResult(fast);
  difference = firstDifferentLabel(reference::compactLabels(plain), result.labels, image.width);
  ASSERT_EQ(difference, "") << "final";
  const std::vector<Colour> colours = reference::activeColours(plain);
  ASSERT_EQ(result.colours.size(), colours.size());
  for (std::size_t i = 0; i < colours.size(); ++i) {
    EXPECT_EQ(result.colours[i].red, colours[i].red) << "colour " << i;
    EXPECT_EQ(result.colours[i].green, colours[i].green) << "colour " << i;
    EXPECT_EQ(result.colours[i].blue, colours[i].blue) << "colour " << i;
  }
}

cv::Vec3b grey(int v) { return cv::Vec3b(v, v, v); }

TEST(Equivalence, FlatImagesFullOfTies) {
  for (const std::int32_t count : {1, 2, 3, 7, 24, 1000}) {
    expectSameRun(flatImage(30, 20), count, 0.5f);
  }
  expectSameRun(flatImage(33, 17, {0, 0, 0}), 5, 0.0f);
  expectSameRun(flatImage(64, 48, {255, 255, 255}), 12, 2.0f);
}

TEST(Equivalence, StripesCheckersAndGradients) {
  const auto vertical = makeImage(48, 32, [](int x, int) { return grey(x / 3 % 2 * 200); });
  const auto horizontal = makeImage(40, 44, [](int, int y) { return grey(y / 5 % 2 * 90 + 40); });
  const auto diagonal = makeImage(50, 37, [](int x, int y) {
    return cv::Vec3b((x + y) / 4 % 3 * 100, 30, 200 - (x + y) / 4 % 3 * 60);
  });
  const auto checkers = makeImage(36, 36, [](int x, int y) { return grey((x + y) % 2 * 255); });
  const auto gradient =
      makeImage(60, 25, [](int x, int y) { return cv::Vec3b(x * 4, y * 10, 255 - x * 4); });
  for (const cv::Mat* image : {&vertical, &horizontal, &diagonal, &checkers, &gradient}) {
    for (const std::int32_t count : {1, 4, 9, 30, 200}) expectSameRun(*image, count, 0.5f);
  }
  expectSameRun(checkers, 10, 0.0f);
  expectSameRun(gradient, 6, 5.0f);
}

TEST(Equivalence, OnePixelWideAndTinyImages) {
  for (const std::int32_t count : {1, 2, 3, 5, 40}) {
    expectSameRun(noiseImage(1, 37, 3), count, 0.5f);
    expectSameRun(noiseImage(41, 1, 4), count, 0.5f);
    expectSameRun(noiseImage(2, 19, 5), count, 1.0f);
    expectSameRun(noiseImage(3, 3, 6), count, 0.5f);
  }
  expectSameRun(noiseImage(1, 1, 7), 1, 0.5f);
  expectSameRun(flatImage(1, 1), 3, 0.0f);
  expectSameRun(noiseImage(2, 2, 8), 1, 0.5f);
}

TEST(Equivalence, NoiseAtEveryGridStep) {
  const cv::Mat noise = noiseImage(57, 43, 11);
  for (const std::int32_t count : {1, 2, 3, 5, 8, 13, 21, 40, 98, 99, 100, 500, 2451}) {
    expectSameRun(noise, count, 0.5f);
  }
  for (const float weight : {0.0f, 1e-3f, 0.25f, 3.0f, 40.0f}) expectSameRun(noise, 17, weight);
}

TEST(Equivalence, RandomSmallImages) {
  std::mt19937 generator(2024);
  for (int round = 0; round < 150; ++round) {
    const int width = 1 + static_cast<int>(generator() % 48);
    const int height = 1 + static_cast<int>(generator() % 48);
    const int levels = 2 + static_cast<int>(generator() % 6);
    const int blob = 1 + static_cast<int>(generator() % 7);
    // Few colour levels in blobs: many equal keys and gains.
    std::vector<cv::Vec3b> palette;
    for (int i = 0; i < levels; ++i) {
      palette.emplace_back(generator() % 256, generator() % 256, generator() % 256);
    }
    std::vector<int> cells((width / blob + 1) * (height / blob + 1));
    for (int& cell : cells) cell = static_cast<int>(generator() % levels);
    const cv::Mat image = makeImage(width, height, [&](int x, int y) {
      return palette[cells[(y / blob) * (width / blob + 1) + x / blob]];
    });
    const std::int32_t count = 1 + static_cast<std::int32_t>(generator() % 60);
    const float weight = static_cast<float>(generator() % 5) * 0.5f;
    expectSameRun(image, count, weight);
    if (HasFatalFailure()) return;
  }
}

TEST(Equivalence, GoldenInputsAtOtherCounts) {
  for (const char* name : {"chelsea-451x300-k200", "coffee-96x64-k20", "astronaut-64x64-k10",
                           "discs-70x50-k12", "grey-72x48-k15"}) {
    const cv::Mat image =
        cv::imread((testDataDir() / "golden" / name / "input.png").string(), cv::IMREAD_COLOR);
    ASSERT_FALSE(image.empty()) << name;
    for (const std::int32_t count : {3, 50, 400}) expectSameRun(image, count, 0.5f);
    expectSameRun(image, 25, 0.0f);
    expectSameRun(image, 25, 2.5f);
  }
}

TEST(Equivalence, BsdsPhotos) {
  if (!fs::is_directory(bsdsImagesDir())) {
    GTEST_SKIP() << bsdsImagesDir() << " absent: no BSDS500 photos compared";
  }
  for (const char* name : {"3096.jpg", "101085.jpg", "108005.jpg"}) {
    const cv::Mat image = cv::imread((bsdsImagesDir() / name).string(), cv::IMREAD_COLOR);
    if (image.empty()) continue;
    expectSameRun(image, 200, 0.5f);
    expectSameRun(image, 1000, 1.0f);
  }
}

}  // namespace
}  // namespace superpixels::testing
