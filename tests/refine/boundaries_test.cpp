// Border pixels, touching regions, the position lookup and the balance weight.

#include <algorithm>
#include <limits>
#include <numeric>
#include <random>

#include "refine/boundaries.hpp"
#include "refine/pixel_moves.hpp"
#include "refine/refinement.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "support/engine.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

using Ids = std::vector<std::int32_t>;

// Blocks of a noise image merged down to 10 regions.
struct Merged {
  ImageData image;
  SegmentationState state;
  MergeData merge;
  RefinementData refinement;
  explicit Merged(float weightFactor) : image(makeImageData(noiseImage(60, 40, 12))) {
    setUpSegmentation(state, merge, image, 10, weightFactor);
    mergeToCount(state, merge, 10);
  }
};

// The regions touching `region`, ascending. They are gathered while moves are proposed (in no
// particular order), so the state must have been prepared for refinement.
Ids touchingOf(const SegmentationState& state, const RefinementData& refinement,
               std::int32_t region) {
  Ids touching = refinement.touchingRegions[positionOf(state, region)];
  std::sort(touching.begin(), touching.end());
  return touching;
}

// Live slots 2, 5, 9, 14 and 15 of 20, listed as merging lists them.
TEST(PositionOf, TableOfActiveRegions) {
  SegmentationState state;
  state.labelMap.slotCount = 20;
  state.regionStats.assign(20, RegionStats{});
  listActiveRegions(state);
  EXPECT_EQ(positionOf(state, 0), -1);
  for (const std::int32_t live : {2, 5, 9, 14, 15}) state.regionStats[live].count = 1.0;
  listActiveRegions(state);
  ASSERT_EQ(state.activeRegions, (Ids{2, 5, 9, 14, 15}));
  EXPECT_EQ(positionOf(state, 2), 0);
  EXPECT_EQ(positionOf(state, 5), 1);
  EXPECT_EQ(positionOf(state, 9), 2);
  EXPECT_EQ(positionOf(state, 15), 4);
  // Region ids are slot ids: the table covers every slot.
  for (const std::int32_t absent : {0, 3, 10, 16, 19}) {
    EXPECT_EQ(positionOf(state, absent), -1) << absent;
  }
}

TEST(RebuildBoundaries, SingleRegionHasNoBorder) {
  Labelled labelled(noiseImage(3, 3), Ids(9, 4));
  prepareRefinement(labelled.state, labelled.refinement);
  EXPECT_TRUE(boundaryPixelsOf(labelled.state, labelled.refinement, 4).empty());
  EXPECT_TRUE(touchingOf(labelled.state, labelled.refinement, 4).empty());
}

// Four quadrants; 0 and 10 touch only at the corner (1, 1)-(2, 2), 2 and 8 only at (2, 1)-(1, 2).
// Pixel 5 has neighbours in three other regions and is marked once.
TEST(RebuildBoundaries, QuadrantsWithDiagonalContacts) {
  Labelled labelled(noiseImage(4, 4), {0, 0, 2, 2,    //
                                       0, 0, 2, 2,    //
                                       8, 8, 10, 10,  //
                                       8, 8, 10, 10});
  SegmentationState& state = labelled.state;
  RefinementData& refinement = labelled.refinement;
  prepareRefinement(state, refinement);
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 0), (Ids{1, 4, 5}));
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 2), (Ids{2, 6, 7}));
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 8), (Ids{8, 9, 13}));
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 10), (Ids{10, 11, 14}));
  EXPECT_EQ(touchingOf(state, refinement, 0), (Ids{2, 8, 10}));
  EXPECT_EQ(touchingOf(state, refinement, 2), (Ids{0, 8, 10}));
  EXPECT_EQ(touchingOf(state, refinement, 8), (Ids{0, 2, 10}));
  EXPECT_EQ(touchingOf(state, refinement, 10), (Ids{0, 2, 8}));

  // Pixel 5 joins region 10, pixel 6 region 8: 0 and 10 now share a side, 2 and 8 too. A rebuild
  // replaces whatever the bitmap held: pixels 12 and 15 are no border pixels.
  state.labelMap.labels[5] = 10;
  state.labelMap.labels[6] = 8;
  std::fill(refinement.boundaryBits.begin(), refinement.boundaryBits.end(), ~std::uint64_t{0});
  rebuildBoundaries(state, refinement);
  rebuildBoundaries(state, refinement);
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 0), (Ids{0, 1, 4}));
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 8), (Ids{6, 8, 9, 13}));
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 10), (Ids{5, 10, 11, 14}));
  EXPECT_EQ(boundaryPixelsOf(state, refinement, 2), (Ids{2, 3, 7}));
  // The touching regions are gathered again from the new borders.
  proposeMoves(state, refinement, std::vector<std::uint8_t>(state.regionCount, 1));
  EXPECT_EQ(touchingOf(state, refinement, 0), (Ids{2, 8, 10}));
  EXPECT_EQ(touchingOf(state, refinement, 8), (Ids{0, 2, 10}));
}

// Every pixel its own region: every pixel is a border pixel and touches all its neighbours.
TEST(RebuildBoundaries, SinglePixelRegions) {
  Ids labels(9);
  std::iota(labels.begin(), labels.end(), 0);
  Labelled labelled(noiseImage(3, 3), labels);
  prepareRefinement(labelled.state, labelled.refinement);
  EXPECT_EQ(touchingOf(labelled.state, labelled.refinement, 4), (Ids{0, 1, 2, 3, 5, 6, 7, 8}));
  EXPECT_EQ(touchingOf(labelled.state, labelled.refinement, 7), (Ids{3, 4, 5, 6, 8}));
  for (std::int32_t region = 0; region < 9; ++region) {
    EXPECT_EQ(boundaryPixelsOf(labelled.state, labelled.refinement, region), (Ids{region}));
  }
}

// After pixels change labels, updating the bitmap around them gives what a rebuild gives: moves in
// the corners, on the edges, one pixel in from them and inside, alone and side by side.
TEST(UpdateBoundaries, MatchesARebuildWhereverPixelsMoved) {
  const std::int32_t width = 11;
  const std::int32_t height = 8;
  std::mt19937 random(7);
  Ids labels(width * height);
  for (std::int32_t p = 0; p < width * height; ++p)
    labels[p] = (p % width) / 4 + 3 * ((p / width) / 4);
  Labelled labelled(noiseImage(width, height), labels);
  SegmentationState& state = labelled.state;
  RefinementData& refinement = labelled.refinement;
  rebuildBoundaries(state, refinement);
  const auto at = [&](std::int32_t x, std::int32_t y) { return y * width + x; };
  const std::vector<Ids> batches = {
      {at(0, 0), at(width - 1, 0), at(0, height - 1), at(width - 1, height - 1)},
      {at(5, 0), at(0, 4), at(width - 1, 3), at(6, height - 1)},
      {at(1, 1), at(1, 5), at(width - 2, 2), at(4, height - 2)},
      {at(5, 4)},
      {at(3, 3), at(4, 3), at(5, 3), at(4, 4)},
  };
  for (int round = 0; round < 3; ++round) {
    for (const Ids& moved : batches) {
      for (const std::int32_t p : moved) {
        state.labelMap.labels[p] = static_cast<std::int32_t>(random() % 6);
      }
      updateBoundaries(state, refinement, moved);
      const std::vector<std::uint64_t> updated = refinement.boundaryBits;
      rebuildBoundaries(state, refinement);
      ASSERT_EQ(updated, refinement.boundaryBits)
          << "round " << round << ", first pixel " << moved[0];
    }
  }
}

// Every SIMD path marks the pixels the scalar one marks, in rebuilds and in updates: rows too short
// for a vector step, rows whose steps straddle the bitmap's words, blobs and noise.
TEST(UpdateBoundaries, EveryPathMarksTheScalarPixels) {
  std::mt19937 random(3);
  const std::pair<std::int32_t, std::int32_t> sizes[] = {{3, 3},  {9, 5},   {12, 7},
                                                         {67, 9}, {130, 6}, {31, 40}};
  for (const auto& [width, height] : sizes) {
    const std::int32_t blob = 1 + static_cast<std::int32_t>(random() % 4);
    Ids labels(width * height);
    for (std::int32_t p = 0; p < width * height; ++p) {
      labels[p] = ((p % width) / blob + 3 * ((p / width) / blob) + (random() % 9 == 0)) % 5;
    }
    Labelled labelled(noiseImage(width, height), labels);
    SegmentationState& state = labelled.state;
    RefinementData& refinement = labelled.refinement;
    Ids moved;
    for (int i = 0; i < 12; ++i) moved.push_back(random() % (width * height));
    for (const SimdPath path : {SimdPath::sse2, SimdPath::avx2}) {
      if (!simdPathSupported(path)) continue;
      state.labelMap.labels = labels;
      state.simdPath = SimdPath::scalar;
      rebuildBoundaries(state, refinement);
      const std::vector<std::uint64_t> scalarBits = refinement.boundaryBits;
      state.simdPath = path;
      rebuildBoundaries(state, refinement);
      ASSERT_EQ(refinement.boundaryBits, scalarBits) << width << " x " << height << ", rebuilt on "
                                                     << simdPathName(path);
      for (const std::int32_t p : moved) state.labelMap.labels[p] = (labels[p] + 1) % 5;
      updateBoundaries(state, refinement, moved);
      const std::vector<std::uint64_t> updated = refinement.boundaryBits;
      state.simdPath = SimdPath::scalar;
      rebuildBoundaries(state, refinement);
      ASSERT_EQ(updated, refinement.boundaryBits) << width << " x " << height << ", updated on "
                                                  << simdPathName(path);
    }
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
