#include "regions/greedy_merge.hpp"

#include <algorithm>

#include "regions/candidates.hpp"

namespace superpixels {

namespace {

std::int32_t otherRegion(const MergeCandidate& candidate, std::int32_t region) {
  return candidate.regionA != region ? candidate.regionA : candidate.regionB;
}

// Fetches ahead a region's model and cost, which keying reads.
void prefetchModel(const SegmentationState& state, std::int32_t region) {
  const char* model = reinterpret_cast<const char*>(&state.regionStats[region]);
  for (std::size_t offset = 0; offset < sizeof(RegionStats); offset += 64) {
    __builtin_prefetch(model + offset);
  }
  __builtin_prefetch(&state.regionCosts[region]);
}

// Replaces every slot's entry in mergedInto by the live region it ended in, and the block labels
// by those regions.
void resolveLabels(SegmentationState& state) {
  std::vector<std::int32_t>& into = state.mergedInto;
  for (std::int32_t slot = 0; slot < state.labelMap.slotCount; ++slot) {
    std::int32_t root = into[slot];
    while (into[root] != root) root = into[root];
    for (std::int32_t s = slot; into[s] != root;) {
      const std::int32_t next = into[s];
      into[s] = root;
      s = next;
    }
  }
  for (std::int32_t& label : state.labelMap.labels) label = into[label];
}

}  // namespace

std::int32_t neighbourRegions(const SegmentationState& state, std::int32_t a,
                              std::vector<std::int32_t>& out) {
  out.clear();
  for (const CandidateId c : state.regionCandidates[a]) {
    out.push_back(otherRegion(state.heap[c], a));
  }
  std::sort(out.begin(), out.end());
  return static_cast<std::int32_t>(out.size());
}

void rebuildCandidates(SegmentationState& state, CandidateId c) {
  MergeHeap& heap = state.heap;
  const std::int32_t a = heap[c].regionA;
  const std::int32_t b = heap[c].regionB;
  // The union touches exactly the regions either part touched: every adjacent pair has one
  // candidate, so they are read off the two candidate lists rather than gathered from every pixel
  // (which, with the pixel sets it needed, took merging at count 1000 from 0.39 G instructions to
  // 0.83 G on a BSDS500 photo).
  std::vector<std::int32_t>& neighbours = state.mergeScratch;
  neighbours.clear();
  // Each withdrawal erases the candidate from its other region's list, a header and an entry
  // array scattered over the lists of 10^4-10^5 regions: both are fetched ahead, the headers
  // here, the entries once the headers are in (merging at count 1000: -8 to -10 %, the erases'
  // share of the withdrawal time halved).
  for (const CandidateId d : state.regionCandidates[a]) {
    neighbours.push_back(otherRegion(heap[d], a));
    state.regionCandidates.prefetchHeader(neighbours.back());
  }
  for (const CandidateId e : state.regionCandidates[b]) {
    neighbours.push_back(otherRegion(heap[e], b));
    state.regionCandidates.prefetchHeader(neighbours.back());
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
    state.regionCandidates.prefetchEntries(x);
    prefetchModel(state, x);
  }

  for (const CandidateId d : state.regionCandidates[a]) {
    const std::int32_t o = otherRegion(heap[d], a);
    heap.remove(d);
    state.regionCandidates.erase(o, d);
    if (o != b) heap.destroy(d);
  }
  for (const CandidateId e : state.regionCandidates[b]) {
    const std::int32_t o = otherRegion(heap[e], b);
    heap.remove(e);
    state.regionCandidates.erase(o, e);
    if (o != a) heap.destroy(e);
  }
  state.regionCandidates.clear(a);
  state.regionCandidates.clear(b);

  for (const std::int32_t x : neighbours) {
    const CandidateId fresh = heap.create(a, x);
    state.regionCandidates.push(a, fresh);
    state.regionCandidates.push(x, fresh);
  }
}

namespace {

// mergeRegions, fetching ahead, while it runs, what merging `next` would read first: the lists
// and models of its regions, then the candidates listed. `next` is a guess, any candidate id
// (even one this merge withdraws) or -1: only timing depends on it.
void mergeGuessingNext(SegmentationState& state, CandidateId c, CandidateId next) {
  const std::int32_t a = state.heap[c].regionA;
  const std::int32_t b = state.heap[c].regionB;
  std::int32_t nextA = -1, nextB = -1;
  if (next >= 0) {
    nextA = state.heap[next].regionA;
    nextB = state.heap[next].regionB;
    state.regionCandidates.prefetchHeader(nextA);
    state.regionCandidates.prefetchHeader(nextB);
  }
  state.mergedInto[b] = a;
  state.regionStats[a].absorb(state.regionStats[b]);
  state.regionStats[b].count = 0.0;  // b is gone; its other fields are never read again
  state.regionCosts[a] = state.regionStats[a].cost(state.balanceWeight);
  rebuildCandidates(state, c);
  if (next >= 0) {
    state.regionCandidates.prefetchEntries(nextA);
    state.regionCandidates.prefetchEntries(nextB);
    prefetchModel(state, nextA);
    prefetchModel(state, nextB);
  }
  for (const CandidateId d : state.regionCandidates[a]) {
    evaluateCandidate(state, d);
    if (state.heap[d].heapIndex == notInHeap) {
      state.heap.insert(d, state.heap[d].key);
    } else {
      state.heap.reposition(d);
    }
  }
  if (next >= 0) {
    for (const CandidateId d : state.regionCandidates[nextA]) state.heap.prefetchCandidate(d);
    for (const CandidateId d : state.regionCandidates[nextB]) state.heap.prefetchCandidate(d);
  }
}

}  // namespace

void mergeRegions(SegmentationState& state, CandidateId c) { mergeGuessingNext(state, c, -1); }

void listActiveRegions(SegmentationState& state) {
  state.activeRegions.clear();
  state.positions.assign(state.labelMap.slotCount, -1);
  for (std::int32_t i = 0; i < state.labelMap.slotCount; ++i) {
    if (state.regionStats[i].count > 0.0) {
      state.positions[i] = static_cast<std::int32_t>(state.activeRegions.size());
      state.activeRegions.push_back(i);
    }
  }
  state.regionCount = static_cast<std::int32_t>(state.activeRegions.size());
}

bool mergeToCount(SegmentationState& state, std::int32_t superpixelCount) {
  bool reached = true;
  while (static_cast<std::uint32_t>(state.regionCount) >
         static_cast<std::uint32_t>(superpixelCount)) {
    CandidateId c;
    if (!state.heap.popMax(c)) {
      reached = false;
      break;
    }
    // The candidate now on top is merged next unless this merge withdraws it or keys a better one
    // (a guess that holds for most merges): a merge starts with a chain of dependent cache misses
    // (candidate, lists, listed candidates, models), which is fetched while this merge runs.
    const CandidateId next = state.heap.heapSize() > 0 ? state.heap.itemAt(0) : -1;
    if (next >= 0) state.heap.prefetchCandidate(next);
    mergeGuessingNext(state, c, next);
    --state.regionCount;
    state.heap.destroy(c);
  }
  resolveLabels(state);
  listActiveRegions(state);
  state.figures.mergeReachedCount = reached;
  state.figures.mergedRegionCount = state.regionCount;
  return reached;
}

}  // namespace superpixels
