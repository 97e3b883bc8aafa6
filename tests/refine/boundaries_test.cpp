// Border pixels, touching region pairs, the position lookup and the balance weight.

#include <limits>
#include <numeric>

#include "refine/boundaries.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "test_support.hpp"

namespace superpixels::testing {
namespace {

using Ids = std::vector<std::int32_t>;
using Pair = std::pair<std::int32_t, std::int32_t>;


// Blocks of a noise image merged down to 10 regions.
struct Merged {
  ImageData image;
  SegmentationState state;
  explicit Merged(float weightFactor) : image(makeImageData(noiseImage(60, 40, 12))) {
    setUpSegmentation(state, image, 10, weightFactor);
    mergeToCount(state, 10);
  }
};

std::vector<Pair> pairsOf(const SegmentationState& state, std::int32_t region) {
  std::vector<Pair> pairs;
  for (const RegionPair& pair : state.neighbourPairs[region]) {
    pairs.push_back({pair.regionA, pair.regionB});
  }
  return pairs;
}

TEST(PositionOf, BinarySearchOverActiveRegions) {
  SegmentationState state;
  EXPECT_EQ(positionOf(state, 0), -1);
  state.activeRegions = {2, 5, 9, 14, 15};
  state.regionCount = 5;
  EXPECT_EQ(positionOf(state, 2), 0);
  EXPECT_EQ(positionOf(state, 5), 1);
  EXPECT_EQ(positionOf(state, 9), 2);
  EXPECT_EQ(positionOf(state, 15), 4);
  for (const std::int32_t absent : {-1, 0, 3, 10, 16, 1000}) {
    EXPECT_EQ(positionOf(state, absent), -1) << absent;
  }
}

TEST(RebuildBoundaries, SingleRegionHasNoBorder) {
  Labelled labelled(noiseImage(3, 3), Ids(9, 4));
  rebuildBoundaries(labelled.state);
  EXPECT_TRUE(labelled.state.boundaryPixels[4].empty());
  EXPECT_TRUE(labelled.state.neighbourPairs[4].empty());
}

// Four quadrants; 0 and 10 touch only at the corner (1, 1)-(2, 2), 2 and 8 only at (2, 1)-(1, 2).
// Pixel 5 has neighbours in three other regions and is listed once.
TEST(RebuildBoundaries, QuadrantsWithDiagonalContacts) {
  Labelled labelled(noiseImage(4, 4), {0, 0, 2, 2,    //
                                       0, 0, 2, 2,    //
                                       8, 8, 10, 10,  //
                                       8, 8, 10, 10});
  SegmentationState& state = labelled.state;
  rebuildBoundaries(state);
  EXPECT_EQ(state.boundaryPixels[0], (Ids{1, 4, 5}));
  EXPECT_EQ(state.boundaryPixels[2], (Ids{2, 6, 7}));
  EXPECT_EQ(state.boundaryPixels[8], (Ids{8, 9, 13}));
  EXPECT_EQ(state.boundaryPixels[10], (Ids{10, 11, 14}));
  EXPECT_EQ(pairsOf(state, 0), (std::vector<Pair>{{0, 2}, {0, 8}, {0, 10}}));
  EXPECT_EQ(pairsOf(state, 2), (std::vector<Pair>{{0, 2}, {2, 8}, {2, 10}}));
  EXPECT_EQ(pairsOf(state, 8), (std::vector<Pair>{{0, 8}, {2, 8}, {8, 10}}));
  EXPECT_EQ(pairsOf(state, 10), (std::vector<Pair>{{0, 10}, {2, 10}, {8, 10}}));

  // Pixel 5 joins region 10, pixel 6 region 8: 0 and 10 now share a side, 2 and 8 too. A rebuild
  // replaces the old contents rather than adding to them.
  state.labelMap.labels[5] = 10;
  state.labelMap.labels[6] = 8;
  state.labelMap.regionPixels[0] = {0, 1, 4};
  state.labelMap.regionPixels[2] = {2, 3, 7};
  state.labelMap.regionPixels[8] = {6, 8, 9, 12, 13};
  state.labelMap.regionPixels[10] = {5, 10, 11, 14, 15};
  rebuildBoundaries(state);
  rebuildBoundaries(state);
  EXPECT_EQ(state.boundaryPixels[0], (Ids{0, 1, 4}));
  EXPECT_EQ(state.boundaryPixels[8], (Ids{6, 8, 9, 13}));
  EXPECT_EQ(pairsOf(state, 0), (std::vector<Pair>{{0, 2}, {0, 8}, {0, 10}}));
  EXPECT_EQ(pairsOf(state, 8), (std::vector<Pair>{{0, 8}, {2, 8}, {8, 10}}));
}

// A list holds first the pairs with smaller regions, then those with larger ones, each ascending.
TEST(RebuildBoundaries, PairListOrder) {
  Ids labels(9);
  std::iota(labels.begin(), labels.end(), 0);
  Labelled labelled(noiseImage(3, 3), labels);
  rebuildBoundaries(labelled.state);
  EXPECT_EQ(pairsOf(labelled.state, 4),
            (std::vector<Pair>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 5}, {4, 6}, {4, 7}, {4, 8}}));
  EXPECT_EQ(pairsOf(labelled.state, 7),
            (std::vector<Pair>{{3, 7}, {4, 7}, {5, 7}, {6, 7}, {7, 8}}));
  for (std::int32_t region = 0; region < 9; ++region) {
    EXPECT_EQ(labelled.state.boundaryPixels[region], (Ids{region}));
  }
}

// Summed over the regions, the weighted spatial spread equals the factor times the colour term.
TEST(ComputeBalanceWeight, BalancesSpreadAgainstColour) {
  for (const float factor : {0.3f, 1.0f, 7.5f, 0.0f}) {
    Merged merged(factor);
    computeBalanceWeight(merged.state);
    double colour = 0.0;
    double spatial = 0.0;
    for (const std::int32_t id : merged.state.activeRegions) {
      colour += merged.state.regionStats[id].colourCost();
      spatial += merged.state.regionStats[id].positionScatter.trace();
    }
    ASSERT_GT(spatial, 0.0);
    EXPECT_NEAR(merged.state.balanceWeight * spatial, double(factor) * colour,
                1e-12 * double(factor) * colour);
  }
}

// Without any spatial spread (all regions single pixels) or with a weight that is not finite, the
// weight in force is kept.
TEST(ComputeBalanceWeight, KeepsWeightWhenUndefined) {
  Ids labels(20);
  std::iota(labels.begin(), labels.end(), 0);
  Labelled singles(noiseImage(5, 4), labels);
  computeBalanceWeight(singles.state);
  EXPECT_EQ(singles.state.balanceWeight, initialBalanceWeight);
  singles.state.balanceWeight = 0.25;
  computeBalanceWeight(singles.state);
  EXPECT_EQ(singles.state.balanceWeight, 0.25);

  Merged infinite(std::numeric_limits<float>::infinity());
  computeBalanceWeight(infinite.state);
  EXPECT_EQ(infinite.state.balanceWeight, initialBalanceWeight);
}

}  // namespace
}  // namespace superpixels::testing
