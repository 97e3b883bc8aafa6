#include "regions/greedy_merge.hpp"

#include <algorithm>

#include "regions/candidates.hpp"

namespace superpixels {

namespace {

void eraseFrom(std::vector<CandidateId>& list, CandidateId c) {
  list.erase(std::find(list.begin(), list.end(), c));
}

std::int32_t otherRegion(const MergeCandidate& candidate, std::int32_t region) {
  return candidate.regionA != region ? candidate.regionA : candidate.regionB;
}

}  // namespace

std::int32_t neighbourRegions(const SegmentationState& state, std::int32_t a,
                              std::vector<std::int32_t>& out) {
  out.clear();
  const ImageData& image = *state.image;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  for (const std::int32_t p : state.labelMap.regionPixels[a]) {
    for (const std::int32_t q : image.neighbours(p)) {
      if (labels[q] != a) out.push_back(labels[q]);
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return static_cast<std::int32_t>(out.size());
}

void rebuildCandidates(SegmentationState& state, CandidateId c) {
  MergeHeap& heap = state.heap;
  const std::int32_t a = heap[c].regionA;
  const std::int32_t b = heap[c].regionB;
  std::vector<std::int32_t> neighbours;
  neighbourRegions(state, a, neighbours);

  for (const CandidateId d : state.regionCandidates[a]) {
    const std::int32_t o = otherRegion(heap[d], a);
    heap.remove(d);
    eraseFrom(state.regionCandidates[o], d);
    if (o != b) heap.destroy(d);
  }
  for (const CandidateId e : state.regionCandidates[b]) {
    const std::int32_t o = otherRegion(heap[e], b);
    heap.remove(e);
    eraseFrom(state.regionCandidates[o], e);
    if (o != a) heap.destroy(e);
  }
  state.regionCandidates[a].clear();
  state.regionCandidates[b].clear();
  state.regionCandidates[b].shrink_to_fit();

  for (const std::int32_t x : neighbours) {
    const CandidateId fresh = heap.create(a, x);
    state.regionCandidates[a].push_back(fresh);
    state.regionCandidates[x].push_back(fresh);
  }
}

void mergeRegions(SegmentationState& state, CandidateId c) {
  const std::int32_t a = state.heap[c].regionA;
  const std::int32_t b = state.heap[c].regionB;
  state.labelMap.movePixels(a, b);
  state.regionStats[a].absorb(state.regionStats[b]);
  rebuildCandidates(state, c);
  for (const CandidateId d : state.regionCandidates[a]) {
    evaluateCandidate(state, d);
    if (state.heap[d].heapIndex == notInHeap) {
      state.heap.insert(d, state.heap[d].key);
    } else {
      state.heap.reposition(d);
    }
  }
}

void listActiveRegions(SegmentationState& state) {
  state.activeRegions.clear();
  for (std::int32_t i = 0; i < state.labelMap.slotCount; ++i) {
    if (!state.labelMap.regionPixels[i].empty()) state.activeRegions.push_back(i);
  }
  state.regionCount = static_cast<std::int32_t>(state.activeRegions.size());
}

bool mergeToCount(SegmentationState& state, std::int32_t superpixelCount) {
  bool reached = true;
  while (static_cast<std::uint32_t>(state.regionCount) > static_cast<std::uint32_t>(superpixelCount)) {
    CandidateId c;
    if (!state.heap.popMax(c)) {
      reached = false;
      break;
    }
    mergeRegions(state, c);
    --state.regionCount;
    state.heap.destroy(c);
  }
  listActiveRegions(state);
  state.figures.mergeReachedCount = reached;
  state.figures.mergedRegionCount = state.regionCount;
  return reached;
}

}  // namespace superpixels
