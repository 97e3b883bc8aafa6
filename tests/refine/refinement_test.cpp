// Refinement passes: the energy sum, the convergence test, the pass count and the state that real
// photos are left in.

#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "refine/boundaries.hpp"
#include "refine/refinement.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "superpixels/io.hpp"
#include "support/engine.hpp"
#include "support/files.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

struct Merged {
  ImageData image;
  SegmentationState state;
  MergeData merge;
  RefinementData refinement;
  Merged(const cv::Mat& bgr, std::int32_t count, float weightFactor = 0.5f)
      : image(makeImageData(bgr)) {
    setUpSegmentation(state, merge, image, count, weightFactor);
    mergeToCount(state, merge, count);
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
  RefinementData refinement;
  refinement.activeCosts = {16777216.0, 1.0, 1.0};
  EXPECT_EQ(totalEnergy(refinement), 16777216.0f);
  refinement.activeCosts = {1.0, 1.0, 16777216.0};
  EXPECT_EQ(totalEnergy(refinement), 16777218.0f);
  refinement.activeCosts.clear();
  EXPECT_EQ(totalEnergy(refinement), 0.0f);
}

// A state whose passes move nothing, with an energy of `energy` spread over the cache.
struct Still : Merged {
  explicit Still(double energy) : Merged(texturedImage(30, 20, 3), 4) {
    prepareRefinement(state, refinement);
    refinement.pendingMoves.clear();
    std::fill(refinement.activeCosts.begin(), refinement.activeCosts.end(), 0.0);
    refinement.activeCosts[0] = energy;
  }
};

// The first pass always asks for another; a pass that changes nothing then sees no decrease.
TEST(RefinePass, NothingToMove) {
  Still still(999.0);
  const std::vector<std::int32_t> labels = still.state.labelMap.labels;
  EXPECT_TRUE(refinePass(still.state, still.refinement));
  EXPECT_TRUE(still.refinement.hasPreviousEnergy);
  EXPECT_EQ(still.refinement.previousEnergy, 999.0);
  EXPECT_FALSE(refinePass(still.state, still.refinement));
  EXPECT_EQ(still.refinement.previousEnergy, 999.0);
  EXPECT_EQ(still.state.labelMap.labels, labels);
  EXPECT_EQ(still.state.trace.refinePasses, 2);
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
    still.refinement.hasPreviousEnergy = true;
    still.refinement.previousEnergy = c.previous;
    EXPECT_EQ(refinePass(still.state, still.refinement), c.again) << c.name;
    EXPECT_EQ(still.refinement.previousEnergy, c.again ? c.energy : c.previous) << c.name;
  }
}

// The recorded energies must explain where refinement stopped: every pass but the last decreased
// the energy by more than the threshold, and the last did not, unless the pass limit came first.
void expectPassesFollowTheStoppingRule(const Trace& figures) {
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
void expectRefinedState(const SegmentationState& state, const RefinementData& refinement,
                        std::int32_t regionCount) {
  ASSERT_EQ(state.regionCount, regionCount);
  ASSERT_NO_FATAL_FAILURE(expectConsistent(state));
  ASSERT_EQ(refinement.activeCosts.size(), static_cast<std::size_t>(regionCount));
  for (std::int32_t i = 0; i < state.regionCount; ++i) {
    const std::int32_t m = state.activeRegions[i];
    const RegionStats& stats = state.regionStats[m];
    const std::vector<std::int32_t> pixels = pixelsOf(state.labelMap, m);
    ASSERT_EQ(stats.count, static_cast<double>(pixels.size())) << "region " << m;
    ASSERT_EQ(refinement.activeCosts[i], stats.cost(state.balanceWeight)) << "region " << m;
    std::vector<std::int32_t> border;
    for (const std::int32_t p : pixels) {
      const NeighbourList list = neighbourList(p, state.image->width, state.image->height);
      if (std::any_of(list.begin(), list.end(),
                      [&](std::int32_t q) { return state.labelMap.labels[q] != m; })) {
        border.push_back(p);
      }
    }
    ASSERT_EQ(boundaryPixelsOf(state, refinement, m), border) << "region " << m;
  }
  ASSERT_EQ(static_cast<double>(totalEnergy(refinement)), state.trace.passEnergies.back());
}

TEST(Refine, SyntheticImages) {
  for (const unsigned seed : {1u, 2u, 3u}) {
    Merged merged(texturedImage(90, 60, seed), 12 + 6 * seed);
    const std::int32_t regions = merged.state.regionCount;
    refine(merged.state, merged.refinement);
    SCOPED_TRACE("seed " + std::to_string(seed));
    ASSERT_NO_FATAL_FAILURE(expectPassesFollowTheStoppingRule(merged.state.trace));
    ASSERT_NO_FATAL_FAILURE(expectRefinedState(merged.state, merged.refinement, regions));
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
    const ImageFile file = readImage(photo.string());
    ASSERT_TRUE(file.ok()) << file.error;
    const ImageData image = makeImageData(file.bgr);
    SegmentationState state;
    MergeData merge;
    RefinementData refinement;
    setUpSegmentation(state, merge, image, 200, 0.5f);
    ASSERT_TRUE(mergeToCount(state, merge, 200));
    refine(state, refinement);
    ASSERT_NO_FATAL_FAILURE(expectPassesFollowTheStoppingRule(state.trace));
    ASSERT_NO_FATAL_FAILURE(expectRefinedState(state, refinement, 200));
  }
}

}  // namespace
}  // namespace superpixels::testing
