#pragma once

#include <cstdint>
#include <vector>

#include "regions/candidate_lists.hpp"
#include "regions/merge_heap.hpp"

namespace superpixels {

// Greedy merging's own data: made by the set-up, used up by merging and released before
// refinement starts.
struct MergeData {
  // The candidates and, per slot, the cost of the region's model (while it is live) and the live
  // candidates that name the region (each candidate is listed under both its regions, first
  // under regionA).
  MergeHeap heap;
  CandidateLists regionCandidates;
  // Per slot, the region it was merged into (itself while live); after merging, the live region
  // it ended in.
  std::vector<std::int32_t> mergedInto;
  std::vector<std::int32_t> scratch;  // neighbours of a union, reused from merge to merge
};

}  // namespace superpixels
