#include "regions/greedy_merge.hpp"

#include <algorithm>

#include "regions/candidates.hpp"

namespace superpixels {

namespace {

std::int32_t otherRegion(const MergeCandidate& candidate, std::int32_t region) {
  return candidate.regionA != region ? candidate.regionA : candidate.regionB;
}

// Fetches ahead a region's model, which keying reads (its cost is in the line of its list): every
// cache line it spans, three or four.
void prefetchModel(const SegmentationState& state, std::int32_t region) {
  const char* model = reinterpret_cast<const char*>(&state.regionStats[region]);
  for (std::size_t offset = 0; offset < sizeof(RegionStats); offset += 64) {
    __builtin_prefetch(model + offset);
  }
  __builtin_prefetch(model + sizeof(RegionStats) - 1);
}

// Replaces every slot's entry in mergedInto by the live region it ended in, and the block labels
// by those regions.
void resolveLabels(SegmentationState& state, MergeData& merge) {
  std::vector<std::int32_t>& into = merge.mergedInto;
  for (std::int32_t slot = 0; slot < state.labelMap.slotCount; ++slot) {
    std::int32_t root = into[slot];
    while (into[root] != root) root = into[root];
    for (std::int32_t s = slot; into[s] != root;) {
      const std::int32_t next = into[s];
      into[s] = root;
      s = next;
    }
  }
  for (std::int32_t& label : state.labelMap.labels) {
    if (label != noRegion) label = into[label];
  }
}

// Withdraws and destroys every candidate of c's two regions except c itself, and lists unkeyed
// candidates (survivor, x) for every region x next to the union, x ascending.
void rebuildCandidates(const SegmentationState& state, MergeData& merge, CandidateId c) {
  MergeHeap& heap = merge.heap;
  const std::int32_t a = heap[c].regionA;
  const std::int32_t b = heap[c].regionB;
  // The union touches exactly the regions either part touched: every adjacent pair has one
  // candidate, so they are read off the two candidate lists rather than gathered from every pixel
  // (which, with the pixel sets it needed, took merging at count 1000 from 0.39 G instructions to
  // 0.83 G on a BSDS500 photo).
  std::vector<std::int32_t>& neighbours = merge.scratch;
  neighbours.clear();
  // Each withdrawal erases the candidate from its other region's list, a header and an entry
  // array scattered over the lists of 10^4-10^5 regions: both are fetched ahead, the headers
  // here, the entries once the headers are in (merging at count 1000: -8 to -10 %, the erases'
  // share of the withdrawal time halved).
  for (const CandidateId d : merge.regionCandidates[a]) {
    neighbours.push_back(otherRegion(heap[d], a));
    merge.regionCandidates.prefetchHeader(neighbours.back());
  }
  for (const CandidateId e : merge.regionCandidates[b]) {
    neighbours.push_back(otherRegion(heap[e], b));
    merge.regionCandidates.prefetchHeader(neighbours.back());
  }
  std::sort(neighbours.begin(), neighbours.end());
  neighbours.erase(std::unique(neighbours.begin(), neighbours.end()), neighbours.end());
  neighbours.erase(std::remove_if(neighbours.begin(), neighbours.end(),
                                  [&](std::int32_t x) { return x == a || x == b; }),
                   neighbours.end());
  // Their models are read to key the fresh candidates once the old ones are withdrawn: fetched
  // now, the withdrawals hide the cache misses (merging is bound by them from count ~1000 on:
  // 93-110 ms -> 84-86 ms at count 1000). Prefetching the withdrawn candidates' heap slots, their
  // children's and grandchildren's too gained nothing measurable (92.5 ms against 92.8 on a loaded
  // machine), nor did keeping the heap positions in a table apart from the pool (4 bytes per
  // candidate instead of 24: +2 to +5 %, a miss more per withdrawal than it saved in the sifts),
  // and was left out.
  for (const std::int32_t x : neighbours) {
    merge.regionCandidates.prefetchEntries(x);
    prefetchModel(state, x);
  }

  for (const CandidateId d : merge.regionCandidates[a]) {
    const std::int32_t o = otherRegion(heap[d], a);
    heap.remove(d);
    merge.regionCandidates.erase(o, d);
    if (o != b) heap.destroy(d);
  }
  for (const CandidateId e : merge.regionCandidates[b]) {
    const std::int32_t o = otherRegion(heap[e], b);
    heap.remove(e);
    merge.regionCandidates.erase(o, e);
    if (o != a) heap.destroy(e);
  }
  merge.regionCandidates.clear(a);
  merge.regionCandidates.clear(b);

  for (const std::int32_t x : neighbours) {
    const CandidateId fresh = heap.create(a, x);
    merge.regionCandidates.push(a, fresh);
    merge.regionCandidates.push(x, fresh);
  }
}

}  // namespace

// What merging `next` reads first is fetched in steps while this merge runs: the lists and models
// of its regions, then the candidates listed.
void mergeCandidate(SegmentationState& state, MergeData& merge, CandidateId c, CandidateId next) {
  const std::int32_t a = merge.heap[c].regionA;
  const std::int32_t b = merge.heap[c].regionB;
  std::int32_t nextA = -1, nextB = -1;
  if (next >= 0) {
    nextA = merge.heap[next].regionA;
    nextB = merge.heap[next].regionB;
    merge.regionCandidates.prefetchHeader(nextA);
    merge.regionCandidates.prefetchHeader(nextB);
  }
  merge.mergedInto[b] = a;
  state.regionStats[a].absorb(state.regionStats[b]);
  state.regionStats[b].count = 0.0;  // b is gone; its other fields are never read again
  merge.regionCandidates.setCost(a, state.regionStats[a].cost(state.balanceWeight));
  rebuildCandidates(state, merge, c);
  if (next >= 0) {
    merge.regionCandidates.prefetchEntries(nextA);
    merge.regionCandidates.prefetchEntries(nextB);
    prefetchModel(state, nextA);
    prefetchModel(state, nextB);
  }
  // The union's candidates are all fresh: each is keyed and heaped.
  for (const CandidateId d : merge.regionCandidates[a]) {
    merge.heap.insert(d, candidateKey(state, merge, a, merge.heap[d].regionB));
  }
  if (next >= 0) {
    for (const CandidateId d : merge.regionCandidates[nextA]) merge.heap.prefetchCandidate(d);
    for (const CandidateId d : merge.regionCandidates[nextB]) merge.heap.prefetchCandidate(d);
  }
}

bool mergeToCount(SegmentationState& state, MergeData& merge, std::int32_t superpixelCount) {
  bool reached = true;
  for (std::uint32_t merges = 1;
       static_cast<std::uint32_t>(state.regionCount) > static_cast<std::uint32_t>(superpixelCount);
       ++merges) {
    // A large image merges millions of times: a look at the stop request every 4096 merges costs
    // nothing measurable and answers within milliseconds.
    if (merges % 4096 == 0) stopIfAsked(state);
    CandidateId c;
    if (!merge.heap.popMax(c)) {
      reached = false;
      break;
    }
    // The candidate now on top is merged next unless this merge withdraws it or keys a better one
    // (a guess that holds for most merges): a merge starts with a chain of dependent cache misses
    // (candidate, lists, listed candidates, models), which is fetched while this merge runs.
    const CandidateId next = merge.heap.heapSize() > 0 ? merge.heap.itemAt(0) : -1;
    if (next >= 0) merge.heap.prefetchCandidate(next);
    mergeCandidate(state, merge, c, next);
    --state.regionCount;
    merge.heap.destroy(c);
  }
  resolveLabels(state, merge);
  listActiveRegions(state);
  state.trace.mergeReachedCount = reached;
  state.trace.mergedRegionCount = state.regionCount;
  return reached;
}

}  // namespace superpixels
