// The initial block grid: step, label map, block models, display colours and seeded candidates.

#include <set>

#include "regions/set_up.hpp"
#include "support/engine.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

using Pair = std::pair<std::int32_t, std::int32_t>;

TEST(GridStep, AboutTwentyFiveBlocksPerSuperpixel) {
  EXPECT_EQ(gridStep(std::int64_t{481} * 321, 200), 5);
  EXPECT_EQ(gridStep(std::int64_t{481} * 321, 400), 3);
  EXPECT_EQ(gridStep(std::int64_t{481} * 321, 1000), 2);
  EXPECT_EQ(gridStep(std::int64_t{100} * 100, 1), 20);
  EXPECT_EQ(gridStep(std::int64_t{10} * 10, 50), 1);  // below 1, raised to 1
  // Products beyond 32 bits: 50000 x 50000 pixels and the largest count.
  EXPECT_EQ(gridStep(std::int64_t{50000} * 50000, 1), 10000);
  EXPECT_EQ(gridStep(std::int64_t{100} * 100, maxSuperpixelCount), 1);
}

struct Grid {
  ImageData image;
  SegmentationState state;
  MergeData merge;

  Grid(const cv::Mat& bgr, std::int32_t count) : image(makeImageData(bgr)) {
    setUpSegmentation(state, merge, image, count, 0.5f);
  }
};

// 481 = 96 * 5 + 1 and 321 = 64 * 5 + 1: with step 5 the last block column is one pixel wide and
// the last block row one pixel high; their blocks are regions like the others.
TEST(SetUpSegmentation, GridOfAPhotoSizedImage) {
  for (const auto& [count, step, columns, rows] :
       {std::tuple{200, 5, 97, 65}, {400, 3, 161, 107}, {1000, 2, 241, 161}}) {
    const Grid grid(noiseImage(481, 321), count);
    const SegmentationState& state = grid.state;
    EXPECT_EQ(state.blockWidth, step);
    EXPECT_EQ(state.blockHeight, step);
    EXPECT_EQ(state.gridColumns, columns);
    EXPECT_EQ(state.gridRows, rows);
    EXPECT_EQ(state.regionCount, columns * rows);
    // One candidate per pair of 8-adjacent blocks: sideways, downwards and both diagonals.
    EXPECT_EQ(grid.merge.heap.heapSize(),
              (columns - 1) * rows + columns * (rows - 1) + 2 * (columns - 1) * (rows - 1));
    ASSERT_NO_FATAL_FAILURE(expectConsistent(state));
    if (step != 5) continue;
    const LabelMap& map = state.labelMap;
    EXPECT_EQ(pixelsOf(map, 96).size(), 5u);
    EXPECT_EQ(pixelsOf(map, 64 * 97).size(), 5u);
    EXPECT_EQ(pixelsOf(map, 65 * 97 - 1), (std::vector<std::int32_t>{481 * 321 - 1}));
    EXPECT_EQ(map.labels[480], 96);
    EXPECT_EQ(state.regionStats[96].meanPosition, Eigen::Vector2d(480, 2));
  }
}

TEST(LabelMap, BlocksInRowMajorSlotOrder) {
  // 7 x 5 pixels, blocks of 3: 3 block columns (the last one pixel wide), 2 block rows.
  const LabelMap map(7, 5, 3, 3);
  const std::vector<std::int32_t> expected = {
      0, 0, 0, 1, 1, 1, 2,  //
      0, 0, 0, 1, 1, 1, 2,  //
      0, 0, 0, 1, 1, 1, 2,  //
      3, 3, 3, 4, 4, 4, 5,  //
      3, 3, 3, 4, 4, 4, 5,  //
  };
  ASSERT_EQ(map.slotCount, 6);
  ASSERT_EQ(map.labels.size(), expected.size());
  for (std::size_t p = 0; p < expected.size(); ++p) {
    ASSERT_EQ(map.labels[p], expected[p]) << "first differing pixel " << p;
  }
  EXPECT_EQ(pixelsOf(map, 2), (std::vector<std::int32_t>{6, 13, 20}));
  EXPECT_EQ(pixelsOf(map, 4), (std::vector<std::int32_t>{24, 25, 26, 31, 32, 33}));
}

// Display colours are k / 21 and come from a generator restarted for every image, so equal slot
// ids get equal colours in every image.
TEST(LabelMap, DisplayColours) {
  const Grid a(noiseImage(40, 30, 1), 2);
  const Grid b(flatImage(40, 30), 2);
  const LabelMap& map = a.state.labelMap;
  std::set<float> seen;
  for (std::int32_t slot = 0; slot < map.slotCount; ++slot) {
    for (const float component : {map.red[slot], map.green[slot], map.blue[slot]}) {
      const double k = std::round(component * 21.0);
      ASSERT_TRUE(k >= 0 && k <= 20 && component == static_cast<float>(k / 21.0)) << component;
      seen.insert(component);
    }
  }
  EXPECT_GT(seen.size(), 15u);
  EXPECT_EQ(map.red, b.state.labelMap.red);
  EXPECT_EQ(map.green, b.state.labelMap.green);
  EXPECT_EQ(map.blue, b.state.labelMap.blue);
}

std::vector<Pair> listedPairs(const MergeData& merge, std::int32_t region) {
  std::vector<Pair> pairs;
  for (const CandidateId c : merge.regionCandidates[region]) {
    pairs.push_back({merge.heap[c].regionA, merge.heap[c].regionB});
  }
  return pairs;
}

// A 3 x 2 grid (slots 0 1 2 above 3 4 5): eleven candidates, made block by block in the order
// right, below, below left, below right, each listed under its smaller slot first.
TEST(SeedCandidates, ThreeByTwoGrid) {
  const Grid grid(noiseImage(3, 2), 1);
  const SegmentationState& state = grid.state;
  ASSERT_EQ(state.gridColumns, 3);
  ASSERT_EQ(state.gridRows, 2);
  const std::vector<Pair> order = {{0, 1}, {0, 3}, {0, 4}, {1, 2}, {1, 4}, {1, 3},
                                   {1, 5}, {2, 5}, {2, 4}, {3, 4}, {4, 5}};
  ASSERT_EQ(grid.merge.heap.heapSize(), 11);
  // Handles are handed out in creation order while nothing has been destroyed.
  for (CandidateId c = 0; c < 11; ++c) {
    EXPECT_EQ(Pair(grid.merge.heap[c].regionA, grid.merge.heap[c].regionB), order[c])
        << "candidate " << c;
  }
  EXPECT_EQ(listedPairs(grid.merge, 0), (std::vector<Pair>{{0, 1}, {0, 3}, {0, 4}}));
  EXPECT_EQ(listedPairs(grid.merge, 1),
            (std::vector<Pair>{{0, 1}, {1, 2}, {1, 4}, {1, 3}, {1, 5}}));
  EXPECT_EQ(listedPairs(grid.merge, 4),
            (std::vector<Pair>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 5}}));
  EXPECT_EQ(listedPairs(grid.merge, 5), (std::vector<Pair>{{1, 5}, {2, 5}, {4, 5}}));
}

TEST(SeedCandidates, OneColumnAndOneBlockGrids) {
  const Grid column(noiseImage(4, 100), 1);  // step 4: one column of 25 blocks
  ASSERT_EQ(column.state.gridColumns, 1);
  ASSERT_EQ(column.merge.heap.heapSize(), 24);
  for (CandidateId c = 0; c < 24; ++c) {
    EXPECT_EQ(column.merge.heap[c].regionA, c);
    EXPECT_EQ(column.merge.heap[c].regionB, c + 1);
  }

  const Grid single(noiseImage(1, 1), 1);
  EXPECT_EQ(single.state.regionCount, 1);
  EXPECT_EQ(single.merge.heap.heapSize(), 0);
}

// Two single pixels whose Lab bytes differ by d: side by side the merge costs |d|^2/2 + 0.5,
// diagonally |d|^2/2 + 1, whatever the balance weight (the union has fewer than 8 pixels).
TEST(SeedCandidates, SinglePixelKeys) {
  const Grid grid(noiseImage(3, 2, 17), 1);
  for (CandidateId c = 0; c < grid.merge.heap.heapSize(); ++c) {
    const MergeCandidate& candidate = grid.merge.heap[c];
    const std::uint8_t* a = grid.image.lab(candidate.regionA);
    const std::uint8_t* b = grid.image.lab(candidate.regionB);
    double squared = 0.0;
    for (int k = 0; k < 3; ++k) squared += (double(a[k]) - b[k]) * (double(a[k]) - b[k]);
    const bool diagonal = candidate.regionA % 3 != candidate.regionB % 3 &&
                          candidate.regionA / 3 != candidate.regionB / 3;
    EXPECT_EQ(grid.merge.heap.key(c), -(squared / 2 + (diagonal ? 1.0 : 0.5)))
        << candidate.regionA << "-" << candidate.regionB;
  }
}

// One-colour 2 x 2 blocks cost 2 each (trace branch). Their union has 8 pixels, so it costs its
// weighted spread only: 12 * weight side by side (Sxx 10, Syy 2), 20 * weight diagonally.
TEST(SeedCandidates, BlockKeysAreCostSavings) {
  const Grid grid(flatImage(10, 10), 1);
  const SegmentationState& state = grid.state;
  ASSERT_EQ(state.blockWidth, 2);
  ASSERT_EQ(grid.merge.heap.heapSize(), 4 * 5 + 5 * 4 + 2 * 4 * 4);
  const double w = initialBalanceWeight;
  for (CandidateId c = 0; c < grid.merge.heap.heapSize(); ++c) {
    const MergeCandidate& candidate = grid.merge.heap[c];
    const bool diagonal = candidate.regionA % 5 != candidate.regionB % 5 &&
                          candidate.regionA / 5 != candidate.regionB / 5;
    EXPECT_NEAR(grid.merge.heap.key(c), 4.0 - (diagonal ? 20 : 12) * w, 1e-9)
        << candidate.regionA << "-" << candidate.regionB;
  }
}

}  // namespace
}  // namespace superpixels::testing
