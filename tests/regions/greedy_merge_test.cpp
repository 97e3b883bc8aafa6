// Greedy merging: the stopping count, the list of survivors and the candidate bookkeeping after
// every single merge.

#include <map>
#include <set>

#include "regions/candidates.hpp"
#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "test_support.hpp"

namespace superpixels::testing {
namespace {

using Pair = std::pair<std::int32_t, std::int32_t>;

struct Merging {
  ImageData image;
  SegmentationState state;

  Merging(const cv::Mat& bgr, std::int32_t count) : image(makeImageData(bgr)) {
    setUpSegmentation(state, image, count, 0.5f);
  }
};

// A smooth gradient with noise: varied keys, so merges happen all over the image.
cv::Mat texturedImage(int width, int height, unsigned seed) {
  std::mt19937 generator(seed);
  return makeImage(width, height, [&](int x, int y) {
    return cv::Vec3b(5 * x + generator() % 40, 8 * y + generator() % 40, 120 + generator() % 40);
  });
}

// Pairs of distinct labels that are 8-adjacent somewhere, found by scanning every pixel pair.
std::set<Pair> adjacentPairs(const SegmentationState& state) {
  const std::int32_t width = state.image->width;
  const std::int32_t height = state.image->height;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  std::set<Pair> pairs;
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      for (std::int32_t dy = -1; dy <= 1; ++dy) {
        for (std::int32_t dx = -1; dx <= 1; ++dx) {
          if (x + dx < 0 || x + dx >= width || y + dy < 0 || y + dy >= height) continue;
          const std::int32_t a = labels[y * width + x];
          const std::int32_t b = labels[(y + dy) * width + x + dx];
          if (a < b) pairs.insert({a, b});
        }
      }
    }
  }
  return pairs;
}

std::int32_t otherRegion(const MergeCandidate& c, std::int32_t region) {
  return c.regionA != region ? c.regionA : c.regionB;
}

// The bookkeeping that must hold between merges: one heaped, current candidate per adjacent live
// pair, listed under both regions; nothing for dead regions; no candidate leaked.
void expectMergeInvariants(const SegmentationState& state, std::int32_t survivor) {
  ASSERT_NO_FATAL_FAILURE(expectConsistent(state));
  const std::set<Pair> pairs = adjacentPairs(state);
  SegmentationState fresh = state;  // keys recomputed here must equal the stored ones
  std::set<Pair> listed;
  for (std::int32_t region = 0; region < state.labelMap.slotCount; ++region) {
    const std::vector<CandidateId>& list = state.regionCandidates[region];
    if (state.labelMap.regionPixels[region].empty()) {
      ASSERT_TRUE(list.empty()) << "dead region " << region << " still lists candidates";
      continue;
    }
    ASSERT_EQ(state.regionStats[region].count,
              static_cast<double>(state.labelMap.regionPixels[region].size()))
        << "region " << region;
    std::set<std::int32_t> others;
    for (const CandidateId c : list) {
      const MergeCandidate& candidate = state.heap[c];
      const std::int32_t other = otherRegion(candidate, region);
      ASSERT_TRUE(others.insert(other).second) << "two candidates for " << region << "-" << other;
      const Pair pair = std::minmax(region, other);
      ASSERT_TRUE(pairs.count(pair)) << "candidate for non-adjacent " << region << "-" << other;
      const std::vector<CandidateId>& back = state.regionCandidates[other];
      ASSERT_EQ(std::count(back.begin(), back.end(), c), 1) << region << "-" << other;
      ASSERT_NE(candidate.heapIndex, notInHeap) << region << "-" << other;
      ASSERT_EQ(state.heap.itemAt(candidate.heapIndex), c);
      evaluateCandidate(fresh, c);
      ASSERT_EQ(candidate.key, fresh.heap[c].key) << "stale key " << region << "-" << other;
      listed.insert(pair);
    }
  }
  ASSERT_EQ(listed, pairs);
  ASSERT_EQ(state.heap.heapSize(), static_cast<std::int32_t>(pairs.size()));
  ASSERT_EQ(state.heap.liveCandidates(), static_cast<std::int32_t>(pairs.size()));

  // The survivor's fresh list is ascending by neighbour id and names the survivor first.
  std::int32_t previous = -1;
  for (const CandidateId c : state.regionCandidates[survivor]) {
    ASSERT_EQ(state.heap[c].regionA, survivor);
    ASSERT_GT(state.heap[c].regionB, previous);
    previous = state.heap[c].regionB;
  }
}

// Merges one popped candidate at a time, as mergeToCount does, checking everything in between.
// Counts in `largerSurvivors` the merges whose survivor (always regionA) has the larger id.
void mergeStepByStep(Merging& merging, std::int32_t count, int* largerSurvivors = nullptr) {
  SegmentationState& state = merging.state;
  ASSERT_NO_FATAL_FAILURE(expectMergeInvariants(state, 0));
  while (state.regionCount > count) {
    CandidateId c;
    ASSERT_TRUE(state.heap.popMax(c));
    const std::int32_t a = state.heap[c].regionA;
    const std::int32_t b = state.heap[c].regionB;
    const std::size_t pixels =
        state.labelMap.regionPixels[a].size() + state.labelMap.regionPixels[b].size();
    ASSERT_FALSE(state.labelMap.regionPixels[a].empty()) << "popped candidate names dead " << a;
    ASSERT_FALSE(state.labelMap.regionPixels[b].empty()) << "popped candidate names dead " << b;
    if (a > b && largerSurvivors) ++*largerSurvivors;
    mergeRegions(state, c);
    --state.regionCount;
    state.heap.destroy(c);
    ASSERT_EQ(state.labelMap.regionPixels[a].size(), pixels) << "merge " << a << "<-" << b;
    ASSERT_TRUE(state.labelMap.regionPixels[b].empty());
    ASSERT_NO_FATAL_FAILURE(expectMergeInvariants(state, a))
        << "after merging " << b << " into " << a << ", " << state.regionCount << " left";
  }
}

TEST(MergeRegions, InvariantsAfterEveryMergeOfSinglePixels) {
  Merging merging(texturedImage(13, 9, 3), 100);  // step 1: every pixel a region
  ASSERT_EQ(merging.state.regionCount, 117);
  int largerSurvivors = 0;
  mergeStepByStep(merging, 1, &largerSurvivors);
  EXPECT_GT(largerSurvivors, 0);
}

TEST(MergeRegions, InvariantsAfterEveryMergeOfLargerBlocks) {
  Merging merging(texturedImage(41, 29, 8), 2);  // step 4, last column and row narrower
  ASSERT_EQ(merging.state.blockWidth, 4);
  mergeStepByStep(merging, 3);
}

// 80 blocks merged to various counts. A count at or above the block count (or negative, compared
// unsigned) merges nothing; a count of 0 cannot be reached, the heap runs dry at one region.
TEST(MergeToCount, StopsAtCountAndListsSurvivors) {
  for (const auto& [count, expected, reached] : {std::tuple{80, 80, true},
                                                 {1000, 80, true},
                                                 {-5, 80, true},
                                                 {40, 40, true},
                                                 {7, 7, true},
                                                 {1, 1, true},
                                                 {0, 1, false}}) {
    Merging merging(texturedImage(40, 30, 2), 2);
    ASSERT_EQ(merging.state.regionCount, 80);  // step 4: 10 x 8 blocks
    EXPECT_EQ(mergeToCount(merging.state, count), reached) << count;
    const SegmentationState& state = merging.state;
    ASSERT_EQ(state.regionCount, expected) << count;
    ASSERT_EQ(state.activeRegions.size(), static_cast<std::size_t>(expected)) << count;
    for (std::int32_t i = 0; i < expected; ++i) {
      ASSERT_TRUE(i == 0 || state.activeRegions[i - 1] < state.activeRegions[i]) << count;
      ASSERT_FALSE(state.labelMap.regionPixels[state.activeRegions[i]].empty()) << count;
    }
    ASSERT_NO_FATAL_FAILURE(expectConsistent(state));
    if (expected == 1) {
      EXPECT_EQ(state.heap.heapSize(), 0);
      EXPECT_EQ(state.heap.liveCandidates(), 0);
    }
  }
}

// Hand-made labelling (slot ids of a 5 x 4 single-pixel grid):
//   0  0  0  3  3
//   0  6  0  3  3
//   0  0  0  9  9
//  15 15 15 15  9
TEST(NeighbourRegions, HandMadeLabelling) {
  Merging merging(flatImage(5, 4), 20);
  SegmentationState& state = merging.state;
  ASSERT_EQ(state.labelMap.slotCount, 20);
  state.labelMap.labels = {0, 0, 0, 3, 3, 0, 6, 0, 3, 3, 0, 0, 0, 9, 9, 15, 15, 15, 15, 9};
  for (auto& set : state.labelMap.regionPixels) set.clear();
  for (std::int32_t p = 0; p < 20; ++p) {
    state.labelMap.regionPixels[state.labelMap.labels[p]].push_back(p);
  }
  using Ids = std::vector<std::int32_t>;
  const std::map<std::int32_t, Ids> expected = {{0, {3, 6, 9, 15}}, {3, {0, 9}},  {6, {0}},
                                                {9, {0, 3, 15}},    {15, {0, 9}}, {1, {}}};
  for (const auto& [region, neighbours] : expected) {
    Ids out = {42};
    EXPECT_EQ(neighbourRegions(state, region, out), static_cast<std::int32_t>(neighbours.size()));
    EXPECT_EQ(out, neighbours) << "region " << region;
  }
}

}  // namespace
}  // namespace superpixels::testing
