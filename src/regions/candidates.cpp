#include "regions/candidates.hpp"

namespace superpixels {

void evaluateCandidate(const SegmentationState& state, MergeData& merge, CandidateId c) {
  MergeCandidate& candidate = merge.heap[c];
  const double merged = unionCost(state.regionStats[candidate.regionA],
                                  state.regionStats[candidate.regionB], state.balanceWeight);
  const double costA = merge.regionCosts[candidate.regionA];
  const double costB = merge.regionCosts[candidate.regionB];
  candidate.key = -((merged - costA) - costB);
}

void addCandidate(const SegmentationState& state, MergeData& merge, std::int32_t a,
                  std::int32_t b) {
  const CandidateId c = merge.heap.create(a, b);
  evaluateCandidate(state, merge, c);
  merge.heap.insert(c, merge.heap[c].key);
  merge.regionCandidates.push(a, c);
  merge.regionCandidates.push(b, c);
}

void seedCandidates(SegmentationState& state, MergeData& merge) {
  const std::int32_t columns = state.gridColumns;
  const std::int32_t rows = state.gridRows;
  // One candidate per horizontal, vertical and diagonal pair of neighbouring blocks.
  merge.heap.reserve(rows * (columns - 1) + (rows - 1) * columns + 2 * (rows - 1) * (columns - 1));
  std::int64_t made = 0;
  for (std::int32_t i = 0; i < rows; ++i) {
    for (std::int32_t j = 0; j < columns; ++j) {
      const std::int32_t s = i * columns + j;
      const auto add = [&](std::int32_t other) {
        addCandidate(state, merge, s, other);
        ++made;
      };
      if (j + 1 < columns) add(s + 1);
      if (i + 1 < rows) {
        add(s + columns);
        if (j > 0) add(s + columns - 1);
        if (j + 1 < columns) add(s + columns + 1);
      }
    }
  }
  state.trace.seededCandidates = made;
}

}  // namespace superpixels
