// Refinement passes: the energy sum, the convergence test, the pass count and the state that real
// photos are left in.

#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "refine/boundaries.hpp"
#include "refine/refinement.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "test_support.hpp"

namespace superpixels::testing {
namespace {

struct Merged {
  ImageData image;
  SegmentationState state;
  Merged(const cv::Mat& bgr, std::int32_t count, float weightFactor = 0.5f)
      : image(makeImageData(bgr)) {
    setUpSegmentation(state, image, count, weightFactor);
    mergeToCount(state, count);
  }
};

cv::Mat texturedImage(int width, int height, unsigned seed) {
  std::mt19937 generator(seed);
  return makeImage(width, height, [&](int x, int y) {
    const bool disc = (x - width / 2) * (x - width / 2) + (y - height / 3) * (y - height / 3) <
                      width * height / 10;
    return disc ? cv::Vec3b(40 + generator() % 30, 160 + generator() % 30, 60)
                : cv::Vec3b(3 * x + generator() % 50, 2 * y + generator() % 50, 150);
  });
}

// Each addition is rounded to single precision: 2^24 + 1 rounds back to 2^24, twice, where a
// double sum would give 2^24 + 2, which a float can hold.
TEST(TotalEnergy, AccumulatesInSinglePrecision) {
  SegmentationState state;
  state.activeCosts = {16777216.0, 1.0, 1.0};
  state.regionCount = 3;
  EXPECT_EQ(totalEnergy(state), 16777216.0f);
  state.activeCosts = {1.0, 1.0, 16777216.0};
  EXPECT_EQ(totalEnergy(state), 16777218.0f);
  state.regionCount = 0;
  EXPECT_EQ(totalEnergy(state), 0.0f);
}

// A state whose passes move nothing, with an energy of `energy` spread over the cache.
struct Still : Merged {
  explicit Still(double energy) : Merged(texturedImage(30, 20, 3), 4) {
    prepareRefinement(state);
    state.pendingMoves.clear();
    std::fill(state.activeCosts.begin(), state.activeCosts.end(), 0.0);
    state.activeCosts[0] = energy;
  }
};

// The first pass always asks for another; a pass that changes nothing then sees no decrease.
TEST(RefinePass, NothingToMove) {
  Still still(999.0);
  const std::vector<std::int32_t> labels = still.state.labelMap.labels;
  EXPECT_TRUE(refinePass(still.state));
  EXPECT_TRUE(still.state.hasPreviousEnergy);
  EXPECT_EQ(still.state.previousEnergy, 999.0);
  EXPECT_FALSE(refinePass(still.state));
  EXPECT_EQ(still.state.previousEnergy, 999.0);
  EXPECT_EQ(still.state.labelMap.labels, labels);
  EXPECT_EQ(still.state.figures.refinePasses, 2);
}

// The energy after the pass against various previous energies. Refinement continues only for a
// relative decrease above 0.001 rounded to single precision (0.0010000000474974513); a decrease
// that is not a number (both energies 0) ends it.
TEST(RefinePass, ConvergenceThreshold) {
  struct Case {
    const char* name;
    double previous;
    bool again;
    double energy = 999.0;
  };
  const double inBetween = 999.0 / (1.0 - 0.00100000002);  // above 0.001, not above the bound
  const double above = 999.0 / (1.0 - 0.0010000001);
  ASSERT_GT((inBetween - 999.0) / inBetween, 0.001);
  ASSERT_LE((inBetween - 999.0) / inBetween, convergenceThreshold);
  ASSERT_GT((above - 999.0) / above, convergenceThreshold);
  ASSERT_EQ((1000.0 - 999.0) / 1000.0, 0.001);
  for (const Case& c :
       {Case{"exactly 0.001", 1000.0, false}, Case{"within rounding", inBetween, false},
        Case{"above the bound", above, true}, Case{"large decrease", 2000.0, true},
        Case{"rise", 998.0, false}, Case{"no change", 999.0, false},
        Case{"undefined", 0.0, false, 0.0}}) {
    Still still(c.energy);
    still.state.hasPreviousEnergy = true;
    still.state.previousEnergy = c.previous;
    EXPECT_EQ(refinePass(still.state), c.again) << c.name;
    EXPECT_EQ(still.state.previousEnergy, c.again ? c.energy : c.previous) << c.name;
  }
}

// The recorded energies must explain where refinement stopped: every pass but the last decreased
// the energy by more than the threshold, and the last did not, unless the pass limit came first.
void expectPassesFollowTheStoppingRule(const Figures& figures) {
  const std::vector<double>& energies = figures.passEnergies;
  ASSERT_GE(figures.refinePasses, 2);
  ASSERT_LE(figures.refinePasses, maxRefinementPasses);
  ASSERT_EQ(energies.size(), static_cast<std::size_t>(figures.refinePasses));
  for (std::size_t i = 1; i < energies.size(); ++i) {
    const double decrease = (energies[i - 1] - energies[i]) / energies[i - 1];
    if (i + 1 < energies.size()) {
      ASSERT_GT(decrease, convergenceThreshold) << "pass " << i + 1 << " should have ended";
    } else if (energies.size() < static_cast<std::size_t>(maxRefinementPasses)) {
      ASSERT_FALSE(decrease > convergenceThreshold) << "pass " << i + 1 << " should go on";
    }
  }
}

// After refinement: every region alive with a count equal to its number of pixels, border pixels
// matching the labels, and every cached cost equal to a fresh cost.
void expectRefinedState(const SegmentationState& state, std::int32_t regionCount) {
  ASSERT_EQ(state.regionCount, regionCount);
  ASSERT_NO_FATAL_FAILURE(expectConsistent(state));
  ASSERT_EQ(state.activeCosts.size(), static_cast<std::size_t>(regionCount));
  for (std::int32_t i = 0; i < state.regionCount; ++i) {
    const std::int32_t m = state.activeRegions[i];
    const RegionStats& stats = state.regionStats[m];
    const std::vector<std::int32_t> pixels = pixelsOf(state.labelMap, m);
    ASSERT_EQ(stats.count, static_cast<double>(pixels.size())) << "region " << m;
    ASSERT_EQ(state.activeCosts[i], stats.cost(state.balanceWeight)) << "region " << m;
    std::vector<std::int32_t> border;
    for (const std::int32_t p : pixels) {
      const NeighbourList list = state.image->neighbours(p);
      if (std::any_of(list.begin(), list.end(),
                      [&](std::int32_t q) { return state.labelMap.labels[q] != m; })) {
        border.push_back(p);
      }
    }
    ASSERT_EQ(boundaryPixelsOf(state, m), border) << "region " << m;
  }
  ASSERT_EQ(static_cast<double>(totalEnergy(state)), state.figures.passEnergies.back());
}

TEST(Refine, SyntheticImages) {
  for (const unsigned seed : {1u, 2u, 3u}) {
    Merged merged(texturedImage(90, 60, seed), 12 + 6 * seed);
    const std::int32_t regions = merged.state.regionCount;
    refine(merged.state);
    SCOPED_TRACE("seed " + std::to_string(seed));
    ASSERT_NO_FATAL_FAILURE(expectPassesFollowTheStoppingRule(merged.state.figures));
    ASSERT_NO_FATAL_FAILURE(expectRefinedState(merged.state, regions));
  }
}

TEST(Refine, PhotosAtTwoHundredSuperpixels) {
  const fs::path folder = bsdsImagesDir();
  if (!fs::is_directory(folder)) GTEST_SKIP() << "no photo folder at " << folder;
  std::vector<fs::path> photos;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".jpg") photos.push_back(entry.path());
  }
  std::sort(photos.begin(), photos.end());
  if (photos.size() > 4) photos.resize(4);
  if (photos.empty()) GTEST_SKIP() << "no photos in " << folder;
  for (const fs::path& photo : photos) {
    SCOPED_TRACE(photo.string());
    ImageData image;
    ASSERT_TRUE(loadImage(photo.string(), image).ok);
    SegmentationState state;
    setUpSegmentation(state, image, 200, 0.5f);
    ASSERT_TRUE(mergeToCount(state, 200));
    refine(state);
    ASSERT_NO_FATAL_FAILURE(expectPassesFollowTheStoppingRule(state.figures));
    ASSERT_NO_FATAL_FAILURE(expectRefinedState(state, 200));
  }
}

}  // namespace
}  // namespace superpixels::testing
