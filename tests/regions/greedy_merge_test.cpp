// Greedy merging: the stopping count, the list of survivors and the candidate bookkeeping after
// every single merge.

#include <algorithm>
#include <map>
#include <set>
#include <span>

#include "regions/greedy_merge.hpp"
#include "regions/set_up.hpp"
#include "support/engine.hpp"
#include "support/images.hpp"

namespace superpixels::testing {
namespace {

using Pair = std::pair<std::int32_t, std::int32_t>;

struct Merging {
  ImageData image;
  SegmentationState state;
  MergeData merge;

  Merging(const cv::Mat& bgr, std::int32_t count) : image(makeImageData(bgr)) {
    setUpSegmentation(state, merge, image, count, 0.5f);
  }
};

// A smooth gradient with noise: varied keys, so merges happen all over the image.
cv::Mat texturedImage(int width, int height, unsigned seed) {
  std::mt19937 generator(seed);
  return makeImage(width, height, [&](int x, int y) {
    return cv::Vec3b(5 * x + generator() % 40, 8 * y + generator() % 40, 120 + generator() % 40);
  });
}

// The state with every pixel labelled by the live region its block was merged into: merging
// follows the region tree and brings the labels up to date only when it ends.
SegmentationState withTreeLabels(const Merging& merging) {
  SegmentationState resolved = merging.state;
  const std::vector<std::int32_t>& into = merging.merge.mergedInto;
  for (std::int32_t& label : resolved.labelMap.labels) {
    while (into[label] != label) label = into[label];
  }
  return resolved;
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

// The bookkeeping that must hold between merges: the region tree, the labels and the models
// agree; one heaped, current candidate per adjacent live pair, listed under both regions; nothing
// for dead regions; no candidate leaked.
void expectMergeInvariants(const Merging& merging, std::int32_t survivor) {
  const SegmentationState& state = merging.state;
  const MergeData& merge = merging.merge;
  const SegmentationState resolved = withTreeLabels(merging);
  ASSERT_NO_FATAL_FAILURE(expectConsistent(resolved));
  const std::set<Pair> pairs = adjacentPairs(resolved);
  const double w = state.balanceWeight;
  std::set<Pair> listed;
  for (std::int32_t region = 0; region < state.labelMap.slotCount; ++region) {
    const std::span<const CandidateId> list = merge.regionCandidates[region];
    if (!(state.regionStats[region].count > 0.0)) {
      ASSERT_TRUE(list.empty()) << "dead region " << region << " still lists candidates";
      continue;
    }
    std::set<std::int32_t> others;
    for (const CandidateId c : list) {
      const MergeCandidate& candidate = merge.heap[c];
      const std::int32_t other = otherRegion(candidate, region);
      ASSERT_TRUE(others.insert(other).second) << "two candidates for " << region << "-" << other;
      const Pair pair = std::minmax(region, other);
      ASSERT_TRUE(pairs.count(pair)) << "candidate for non-adjacent " << region << "-" << other;
      const std::span<const CandidateId> back = merge.regionCandidates[other];
      ASSERT_EQ(std::count(back.begin(), back.end(), c), 1) << region << "-" << other;
      ASSERT_NE(candidate.heapIndex, notInHeap) << region << "-" << other;
      ASSERT_EQ(merge.heap.itemAt(candidate.heapIndex), c);
      // The key is the cost saving of the union, computed here from the two models alone.
      const RegionStats& a = state.regionStats[candidate.regionA];
      const RegionStats& b = state.regionStats[candidate.regionB];
      RegionStats merged = a;
      merged.absorb(b);
      ASSERT_EQ(merge.heap.key(c), -((merged.cost(w) - a.cost(w)) - b.cost(w)))
          << "stale key " << region << "-" << other;
      listed.insert(pair);
    }
  }
  ASSERT_EQ(listed, pairs);
  ASSERT_EQ(merge.heap.heapSize(), static_cast<std::int32_t>(pairs.size()));
  ASSERT_EQ(MergeHeapInternals::liveCandidates(merge.heap),
            static_cast<std::int32_t>(pairs.size()));

  // The survivor's fresh list is ascending by neighbour id and names the survivor first.
  std::int32_t previous = -1;
  for (const CandidateId c : merge.regionCandidates[survivor]) {
    ASSERT_EQ(merge.heap[c].regionA, survivor);
    ASSERT_GT(merge.heap[c].regionB, previous);
    previous = merge.heap[c].regionB;
  }
}

// Merges one popped candidate at a time, as mergeToCount does, checking everything in between.
// Counts in `largerSurvivors` the merges whose survivor (always regionA) has the larger id.
void mergeStepByStep(Merging& merging, std::int32_t count, int* largerSurvivors = nullptr) {
  SegmentationState& state = merging.state;
  MergeData& merge = merging.merge;
  ASSERT_NO_FATAL_FAILURE(expectMergeInvariants(merging, 0));
  while (state.regionCount > count) {
    CandidateId c;
    ASSERT_TRUE(merge.heap.popMax(c));
    const std::int32_t a = merge.heap[c].regionA;
    const std::int32_t b = merge.heap[c].regionB;
    const LabelMap before = withTreeLabels(merging).labelMap;
    const std::size_t pixels = pixelsOf(before, a).size() + pixelsOf(before, b).size();
    ASSERT_GT(state.regionStats[a].count, 0.0) << "popped candidate names dead " << a;
    ASSERT_GT(state.regionStats[b].count, 0.0) << "popped candidate names dead " << b;
    if (a > b && largerSurvivors) ++*largerSurvivors;
    mergeCandidate(state, merge, c, -1);
    --state.regionCount;
    merge.heap.destroy(c);
    const LabelMap after = withTreeLabels(merging).labelMap;
    ASSERT_EQ(pixelsOf(after, a).size(), pixels) << "merge " << a << "<-" << b;
    ASSERT_TRUE(pixelsOf(after, b).empty());
    ASSERT_NO_FATAL_FAILURE(expectMergeInvariants(merging, a))
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
    EXPECT_EQ(mergeToCount(merging.state, merging.merge, count), reached) << count;
    const SegmentationState& state = merging.state;
    ASSERT_EQ(state.regionCount, expected) << count;
    ASSERT_EQ(state.activeRegions.size(), static_cast<std::size_t>(expected)) << count;
    for (std::int32_t i = 0; i < expected; ++i) {
      ASSERT_TRUE(i == 0 || state.activeRegions[i - 1] < state.activeRegions[i]) << count;
      ASSERT_GT(state.regionStats[state.activeRegions[i]].count, 0.0) << count;
    }
    ASSERT_NO_FATAL_FAILURE(expectConsistent(state));
    if (expected == 1) {
      EXPECT_EQ(merging.merge.heap.heapSize(), 0);
      EXPECT_EQ(MergeHeapInternals::liveCandidates(merging.merge.heap), 0);
    }
  }
}

// mergeToCount fetches ahead for the candidate on top, a guess that some merges prove wrong (the
// candidate is withdrawn, its id reused, or a fresh one beats it): the merges, the heap and the
// lists must be those of merges without a guess. Flat images add ties on top of the heap.
TEST(MergeToCount, FetchingAheadChangesNothing) {
  for (const cv::Mat& bgr : {texturedImage(61, 47, 5), flatImage(40, 33)}) {
    for (const std::int32_t count : {1, 9, 150}) {
      Merging fast(bgr, count);
      Merging plain(bgr, count);
      mergeToCount(fast.state, fast.merge, count);
      SegmentationState& state = plain.state;
      MergeData& merge = plain.merge;
      while (state.regionCount > count) {
        CandidateId c;
        ASSERT_TRUE(merge.heap.popMax(c));
        mergeCandidate(state, merge, c, -1);
        --state.regionCount;
        merge.heap.destroy(c);
      }
      EXPECT_EQ(fast.state.labelMap.labels, withTreeLabels(plain).labelMap.labels) << count;
      ASSERT_EQ(fast.merge.heap.heapSize(), merge.heap.heapSize()) << count;
      for (std::int32_t i = 0; i < merge.heap.heapSize(); ++i) {
        ASSERT_EQ(fast.merge.heap.itemAt(i), merge.heap.itemAt(i)) << count << " position " << i;
      }
      for (std::int32_t slot = 0; slot < state.labelMap.slotCount; ++slot) {
        const std::span<const CandidateId> want = merge.regionCandidates[slot];
        const std::span<const CandidateId> got = fast.merge.regionCandidates[slot];
        ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin(), got.end()))
            << count << " slot " << slot;
      }
    }
  }
}

// Merges live region b into its neighbour a through their candidate, as mergeToCount does.
void mergeInto(Merging& merging, std::int32_t a, std::int32_t b) {
  SegmentationState& state = merging.state;
  MergeData& merge = merging.merge;
  const std::span<const CandidateId> list = merge.regionCandidates[a];
  const auto c = std::find_if(list.begin(), list.end(),
                              [&](CandidateId d) { return otherRegion(merge.heap[d], a) == b; });
  ASSERT_NE(c, list.end()) << a << " and " << b << " are not neighbours";
  const CandidateId candidate = *c;
  ASSERT_EQ(merge.heap[candidate].regionA, a);
  merge.heap.remove(candidate);
  mergeCandidate(state, merge, candidate, -1);
  --state.regionCount;
  merge.heap.destroy(candidate);
}

// Hand-made labelling of a 5 x 4 single-pixel grid, reached by merging each region's pixels into
// the one that names it (slot 1 is merged into 0 and is gone):
//   0  0  0  3  3
//   0  6  0  3  3
//   0  0  0 13 13
//  15 15 15 15 13
TEST(CandidateLists, NameExactlyTheNeighboursAfterHandMadeMerges) {
  Merging merging(flatImage(5, 4), 20);
  SegmentationState& state = merging.state;
  ASSERT_EQ(state.labelMap.slotCount, 20);
  // Survivor first: each region grows from the pixel that names it.
  const std::vector<Pair> merges = {{0, 1},   {0, 2},   {0, 5},   {0, 7},   {0, 10},
                                    {0, 11},  {0, 12},  {3, 4},   {3, 8},   {3, 9},
                                    {13, 14}, {13, 19}, {15, 16}, {15, 17}, {15, 18}};
  for (const auto& [a, b] : merges) {
    ASSERT_NO_FATAL_FAILURE(mergeInto(merging, a, b));
  }
  ASSERT_EQ(withTreeLabels(merging).labelMap.labels,
            (std::vector<std::int32_t>{0, 0, 0, 3,  3,  0,  6,  0,  3,  3,
                                       0, 0, 0, 13, 13, 15, 15, 15, 15, 13}));
  using Ids = std::vector<std::int32_t>;
  const std::map<std::int32_t, Ids> expected = {{0, {3, 6, 13, 15}}, {3, {0, 13}},  {6, {0}},
                                                {13, {0, 3, 15}},    {15, {0, 13}}, {1, {}}};
  for (const auto& [region, neighbours] : expected) {
    EXPECT_EQ(neighbourRegions(merging.merge, region), neighbours) << "region " << region;
  }
}

}  // namespace
}  // namespace superpixels::testing
