// Reference block set-up and greedy merging.

#include <algorithm>
#include <cmath>
#include <random>

#include "reference/reference_engine.hpp"

namespace superpixels::reference {

namespace {

std::int32_t blocksToCover(std::int32_t length, std::int32_t step) {
  return length / step + (length % step != 0 ? 1 : 0);
}

void evaluateCandidate(SegmentationState& state, CandidateId c) {
  MergeCandidate& candidate = state.heap[c];
  const RegionStats& a = state.regionStats[candidate.regionA];
  const RegionStats& b = state.regionStats[candidate.regionB];
  RegionStats merged = a;
  merged.absorb(b);
  const double w = state.balanceWeight;
  candidate.key = -((merged.cost(w) - a.cost(w)) - b.cost(w));
}

void addCandidate(SegmentationState& state, std::int32_t a, std::int32_t b) {
  const CandidateId c = state.heap.create(a, b);
  evaluateCandidate(state, c);
  state.heap.insert(c, state.heap[c].key);
  state.regionCandidates[a].push_back(c);
  state.regionCandidates[b].push_back(c);
  ++state.trace.seededCandidates;
}

void buildLabelMap(SegmentationState& state, std::int32_t width, std::int32_t height,
                   std::int32_t step) {
  const std::int32_t columns = blocksToCover(width, step);
  state.slotCount = columns * blocksToCover(height, step);
  state.red.resize(state.slotCount);
  state.green.resize(state.slotCount);
  state.blue.resize(state.slotCount);
  state.regionPixels.assign(state.slotCount, {});
  state.labels.resize(static_cast<std::size_t>(width) * height);
  std::mt19937 generator;
  const auto component = [&generator] {
    return static_cast<float>(static_cast<double>(generator() % 21) / 21.0);
  };
  for (std::int32_t i = 0; i < state.slotCount; ++i) {
    state.red[i] = component();
    state.green[i] = component();
    state.blue[i] = component();
  }
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::int32_t p = y * width + x;
      const std::int32_t slot = columns * (y / step) + x / step;
      state.regionPixels[slot].push_back(p);
      state.labels[p] = slot;
    }
  }
}

std::int32_t otherRegion(const MergeCandidate& candidate, std::int32_t region) {
  return candidate.regionA != region ? candidate.regionA : candidate.regionB;
}

void eraseFrom(std::vector<CandidateId>& list, CandidateId c) {
  list.erase(std::find(list.begin(), list.end(), c));
}

// Regions next to region a, gathered from every pixel of a.
std::vector<std::int32_t> neighbourRegions(const SegmentationState& state, std::int32_t a) {
  std::vector<std::int32_t> out;
  for (const std::int32_t p : state.regionPixels[a]) {
    for (const std::int32_t q : neighboursOf(*state.image, p)) {
      if (state.labels[q] != a) out.push_back(state.labels[q]);
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

void mergeRegions(SegmentationState& state, CandidateId c) {
  MergeHeap& heap = state.heap;
  const std::int32_t a = heap[c].regionA;
  const std::int32_t b = heap[c].regionB;

  std::vector<std::int32_t>& into = state.regionPixels[a];
  std::vector<std::int32_t>& from = state.regionPixels[b];
  for (const std::int32_t p : from) state.labels[p] = a;
  const auto middle = static_cast<std::ptrdiff_t>(into.size());
  into.insert(into.end(), from.begin(), from.end());
  std::inplace_merge(into.begin(), into.begin() + middle, into.end());
  from.clear();
  state.regionStats[a].absorb(state.regionStats[b]);

  const std::vector<std::int32_t> neighbours = neighbourRegions(state, a);
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
  for (const std::int32_t x : neighbours) {
    const CandidateId fresh = heap.create(a, x);
    state.regionCandidates[a].push_back(fresh);
    state.regionCandidates[x].push_back(fresh);
  }

  for (const CandidateId d : state.regionCandidates[a]) {
    evaluateCandidate(state, d);
    if (heap[d].heapIndex == notInHeap) {
      heap.insert(d, heap[d].key);
    } else {
      heap.reposition(d);
    }
  }
}

}  // namespace

void listActiveRegions(SegmentationState& state) {
  state.activeRegions.clear();
  for (std::int32_t i = 0; i < state.slotCount; ++i) {
    if (!state.regionPixels[i].empty()) state.activeRegions.push_back(i);
  }
  state.regionCount = static_cast<std::int32_t>(state.activeRegions.size());
}

void setUpSegmentation(SegmentationState& state, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor) {
  state = SegmentationState{};
  state.image = &image;
  state.weightFactor = weightFactor;
  const float q = static_cast<float>(static_cast<std::int64_t>(image.width) * image.height) /
                  static_cast<float>(static_cast<std::int64_t>(superpixelCount) * 25);
  const float s = std::sqrt(q);
  const std::int32_t step = static_cast<std::int32_t>(s > 1.0f ? s : 1.0f);
  state.blockWidth = step;
  state.blockHeight = step;
  state.gridColumns = blocksToCover(image.width, step);
  state.gridRows = blocksToCover(image.height, step);
  const std::int32_t blocks = state.gridColumns * state.gridRows;
  state.regionCount = blocks;
  state.regionStats.assign(blocks, RegionStats{});
  state.regionCandidates.assign(blocks, {});
  state.neighbourPairs.assign(blocks, {});
  state.boundaryPixels.assign(blocks, {});
  buildLabelMap(state, image.width, image.height, step);

  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const std::int32_t slot = (y / step) * state.gridColumns + x / step;
      state.regionStats[slot].absorb(state.pixelStats(y * image.width + x));
    }
  }

  const std::int32_t columns = state.gridColumns;
  for (std::int32_t i = 0; i < state.gridRows; ++i) {
    for (std::int32_t j = 0; j < columns; ++j) {
      const std::int32_t s = i * columns + j;
      if (j + 1 < columns) addCandidate(state, s, s + 1);
      if (i + 1 < state.gridRows) {
        addCandidate(state, s, s + columns);
        if (j > 0) addCandidate(state, s, s + columns - 1);
        if (j + 1 < columns) addCandidate(state, s, s + columns + 1);
      }
    }
  }

  Trace& figures = state.trace;
  figures.step = step;
  figures.gridColumns = state.gridColumns;
  figures.gridRows = state.gridRows;
  figures.initialRegionCount = blocks;
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
    mergeRegions(state, c);
    --state.regionCount;
    state.heap.destroy(c);
  }
  listActiveRegions(state);
  state.trace.mergeReachedCount = reached;
  state.trace.mergedRegionCount = state.regionCount;
  return reached;
}

std::vector<std::int32_t> compactLabels(const SegmentationState& state) {
  std::vector<std::int32_t> compact(state.slotCount, 0);
  for (std::int32_t j = 0; j < state.regionCount; ++j) compact[state.activeRegions[j]] = j;
  std::vector<std::int32_t> labels(state.labels.size());
  for (std::size_t p = 0; p < labels.size(); ++p) labels[p] = compact[state.labels[p]];
  return labels;
}

std::vector<Colour> activeColours(const SegmentationState& state) {
  std::vector<Colour> colours;
  for (const std::int32_t slot : state.activeRegions) {
    colours.push_back({state.red[slot], state.green[slot], state.blue[slot]});
  }
  return colours;
}

}  // namespace superpixels::reference
