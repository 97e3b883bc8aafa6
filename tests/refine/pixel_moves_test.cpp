// Proposing single-pixel moves across region borders and applying them in batches.

#include <iomanip>
#include <set>

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

// A hand-labelled state, prepared for refinement.
struct Prepared : Labelled {
  Prepared(const cv::Mat& bgr, const Ids& labels) : Labelled(bgr, labels) {
    prepareRefinement(state, refinement);
  }
};

// Colour A everywhere except where `pattern` has a 1 (colour B).
cv::Mat twoColours(int width, int height, const Ids& pattern) {
  return makeImage(width, height, [&](int x, int y) {
    return pattern[y * width + x] ? cv::Vec3b(200, 40, 10) : cv::Vec3b(20, 90, 230);
  });
}

double squaredLabDistance(const ImageData& image, std::int32_t p, std::int32_t q) {
  double sum = 0.0;
  for (int k = 0; k < 3; ++k) {
    const double d = double(image.lab(p)[k]) - image.lab(q)[k];
    sum += d * d;
  }
  return sum;
}

// The regions whose positions are flagged in `revisit`, ascending.
Ids flaggedRegions(const SegmentationState& state, const std::vector<std::uint8_t>& revisit) {
  Ids regions;
  for (std::size_t j = 0; j < revisit.size(); ++j) {
    if (revisit[j]) regions.push_back(state.activeRegions[j]);
  }
  return regions;
}

std::string describe(const std::vector<PixelMove>& moves) {
  std::ostringstream out;
  out << std::setprecision(17);
  for (const PixelMove& m : moves) {
    out << m.pixel << ": " << m.source << "->" << m.target << "\n";
  }
  return out.str();
}

// Regions {0, 1} and {2} of one colour: moving pixel 1 over costs 0.5 + 0 before and 0 + 0.5
// after, a gain of exactly 0, which is not proposed. The one-pixel region 2 cannot lose its pixel.
TEST(ProposeMoves, ZeroAndUndefinedGainsAreNotProposed) {
  Prepared labelled(flatImage(3, 1), {0, 0, 2});
  const SegmentationState& state = labelled.state;
  const RefinementData& refinement = labelled.refinement;
  EXPECT_EQ(moveGain(state, refinement, 0, 2, 1), 0.0);
  EXPECT_TRUE(std::isnan(moveGain(state, refinement, 2, 0, 2)));
  EXPECT_TRUE(refinement.pendingMoves.empty());
}

// The two-pixel region 1 (colours A B between an A and a B pixel) wants to give each pixel to its
// like-coloured neighbour. Only the first move is carried out: afterwards the region has a single
// pixel, and the second move is dropped.
TEST(ApplyMoves, TwoPixelRegionLosesOnlyItsFirstPixel) {
  Prepared labelled(twoColours(4, 1, {0, 0, 1, 1}), {0, 1, 1, 3});
  SegmentationState& state = labelled.state;
  RefinementData& refinement = labelled.refinement;
  const double gain = squaredLabDistance(labelled.image, 1, 2) / 2;
  ASSERT_GT(gain, 0.0);
  EXPECT_EQ(describe(refinement.pendingMoves), describe({{1, 0, 1}, {1, 3, 2}}));

  const std::vector<PixelMove> moves = refinement.pendingMoves;
  std::vector<std::uint8_t> revisit = {99};
  Ids moved = {99};
  EXPECT_EQ(applyMoves(state, refinement, moves, revisit, moved), 1);
  EXPECT_EQ(state.labelMap.labels, (Ids{0, 0, 1, 3}));
  EXPECT_EQ(moved, (Ids{1}));
  EXPECT_EQ(state.regionStats[1].count, 1.0);
  ASSERT_NO_FATAL_FAILURE(expectConsistent(state));
  // Changed regions 0 and 1, plus 3, which touched region 1 before the batch.
  EXPECT_EQ(flaggedRegions(state, revisit), (Ids{0, 1, 3}));
  EXPECT_EQ(refinement.activeCosts[positionOf(state, 0)], 0.5);
  EXPECT_EQ(refinement.activeCosts[positionOf(state, 1)], 0.0);

  // Alone, the second move is dropped as well: nothing changes, nothing is to be revisited.
  EXPECT_EQ(applyMoves(state, refinement, {moves[1]}, revisit, moved), 0);
  EXPECT_TRUE(moved.empty());
  EXPECT_TRUE(flaggedRegions(state, revisit).empty());
  EXPECT_EQ(state.labelMap.labels, (Ids{0, 0, 1, 3}));
}

// A one-colour row with the three middle pixels in region 1: each end pixel gains 1 by joining
// its single-pixel neighbour. Once the first has moved, the second move gains nothing any more,
// and it is carried out all the same.
TEST(ApplyMoves, StaleMovesAreStillCarriedOut) {
  Prepared labelled(flatImage(5, 1), {0, 1, 1, 1, 4});
  SegmentationState& state = labelled.state;
  RefinementData& refinement = labelled.refinement;
  EXPECT_EQ(describe(refinement.pendingMoves), describe({{1, 0, 1}, {1, 4, 3}}));
  const std::vector<PixelMove> moves = refinement.pendingMoves;

  // applyMoves refreshes the cached costs of the regions it changed.
  SegmentationState afterFirst = state;
  RefinementData refinementAfterFirst = refinement;
  std::vector<std::uint8_t> revisit;
  Ids moved;
  ASSERT_EQ(applyMoves(afterFirst, refinementAfterFirst, {moves[0]}, revisit, moved), 1);
  EXPECT_LE(moveGain(afterFirst, refinementAfterFirst, 1, 4, 3), 0.0);

  EXPECT_EQ(applyMoves(state, refinement, moves, revisit, moved), 2);
  EXPECT_EQ(state.labelMap.labels, (Ids{0, 0, 1, 4, 4}));
  EXPECT_EQ(moved, (Ids{1, 3}));
  EXPECT_EQ(flaggedRegions(state, revisit), (Ids{0, 1, 4}));
}

// Centre pixel 4 of region 0 may go to region 6 (bottom-left) or region 2 (top-right) with the
// same gain. Its neighbour list visits the left column first, so region 6 wins although it has
// the larger id and the larger pixel index.
//   0 0 2
//   0 0 0     pixels of region 0 other than the centre have colour B, all others colour A
//   6 0 0
TEST(ProposeMoves, EqualGainsGoToFirstNeighbourInListOrder) {
  Prepared labelled(twoColours(3, 3, {1, 1, 0, 1, 0, 1, 0, 1, 1}), {0, 0, 2, 0, 0, 0, 6, 0, 0});
  const SegmentationState& state = labelled.state;
  const RefinementData& refinement = labelled.refinement;
  const double gain = moveGain(state, refinement, 0, 6, 4);
  ASSERT_GT(gain, 0.0);
  ASSERT_EQ(gain, moveGain(state, refinement, 0, 2, 4));
  const auto move = std::find_if(refinement.pendingMoves.begin(), refinement.pendingMoves.end(),
                                 [](const PixelMove& m) { return m.pixel == 4; });
  ASSERT_NE(move, refinement.pendingMoves.end());
  EXPECT_EQ(move->source, 0);
  EXPECT_EQ(move->target, 6);
}

// After a batch: counts match the labels, the moved pixels are listed in order, cached costs are
// fresh, and the regions to revisit are the changed ones with every region that touched them
// before.
TEST(ApplyMoves, BatchKeepsStateConsistent) {
  const ImageData image = makeImageData(noiseImage(48, 36, 2));
  SegmentationState state;
  MergeData merge;
  RefinementData refinement;
  setUpSegmentation(state, merge, image, 12, 0.5f);
  mergeToCount(state, merge, 12);
  prepareRefinement(state, refinement);
  const std::vector<PixelMove> moves = refinement.pendingMoves;
  ASSERT_FALSE(moves.empty());
  const std::vector<Ids> touchingBefore = refinement.touchingRegions;
  const std::vector<double> costsBefore = refinement.activeCosts;

  std::vector<std::uint8_t> revisit;
  Ids moved;
  const std::int64_t applied = applyMoves(state, refinement, moves, revisit, moved);
  ASSERT_NO_FATAL_FAILURE(expectConsistent(state));

  std::set<std::int32_t> changed;
  Ids movedPixels;
  for (const PixelMove& move : moves) {
    if (state.labelMap.labels[move.pixel] != move.target) continue;
    movedPixels.push_back(move.pixel);
    changed.insert(move.source);
    changed.insert(move.target);
  }
  EXPECT_EQ(applied, static_cast<std::int64_t>(movedPixels.size()));
  EXPECT_EQ(moved, movedPixels);
  std::set<std::int32_t> expectedRevisit;
  for (const std::int32_t c : changed) {
    const Ids& touching = touchingBefore[positionOf(state, c)];
    if (!touching.empty()) expectedRevisit.insert(c);
    expectedRevisit.insert(touching.begin(), touching.end());
  }
  EXPECT_EQ(flaggedRegions(state, revisit), Ids(expectedRevisit.begin(), expectedRevisit.end()));

  for (std::int32_t i = 0; i < state.regionCount; ++i) {
    const std::int32_t m = state.activeRegions[i];
    ASSERT_GE(state.regionStats[m].count, 1.0) << "region " << m;
    const double expected =
        changed.count(m) ? state.regionStats[m].cost(state.balanceWeight) : costsBefore[i];
    ASSERT_EQ(refinement.activeCosts[i], expected) << "region " << m;
  }
}

}  // namespace
}  // namespace superpixels::testing
