#include "refine/pixel_moves.hpp"

#include <algorithm>

#include "refine/boundaries.hpp"

namespace superpixels {

namespace {

void insertSorted(std::vector<std::int32_t>& set, std::int32_t value) {
  const auto at = std::lower_bound(set.begin(), set.end(), value);
  if (at == set.end() || *at != value) set.insert(at, value);
}

void eraseSorted(std::vector<std::int32_t>& set, std::int32_t value) {
  const auto at = std::lower_bound(set.begin(), set.end(), value);
  if (at != set.end() && *at == value) set.erase(at);
}

}  // namespace

double moveGain(const SegmentationState& state, std::int32_t s, std::int32_t t, std::int32_t p) {
  RegionStats a = state.regionStats[s];
  RegionStats b = state.regionStats[t];
  const double old =
      state.activeCosts[positionOf(state, t)] + state.activeCosts[positionOf(state, s)];
  const RegionStats pixel = state.pixelStats(p);
  a.release(pixel);
  b.absorb(pixel);
  const double w = state.balanceWeight;
  return old - (b.cost(w) + a.cost(w));
}

void proposeMoves(SegmentationState& state, std::int32_t position) {
  const std::int32_t m = state.activeRegions[position];
  const ImageData& image = *state.image;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  for (const std::int32_t p : state.boundaryPixels[m]) {
    double best = 0.0;
    std::int32_t target = m;
    for (const std::int32_t q : image.neighbours(p)) {
      const std::int32_t l = labels[q];
      if (l == m) continue;
      const double gain = moveGain(state, m, l, p);
      if (gain > best) {
        best = gain;
        target = l;
      }
    }
    if (best > 0.0) state.pendingMoves.push_back({best, m, target, p});
  }
}

bool applyMove(SegmentationState& state, const PixelMove& move,
               std::vector<std::int32_t>& changed) {
  if (state.regionStats[move.regionA].count < 2.0) return false;
  LabelMap& map = state.labelMap;
  eraseSorted(map.regionPixels[move.regionA], move.pixel);
  insertSorted(map.regionPixels[move.regionB], move.pixel);
  map.labels[move.pixel] = move.regionB;
  const RegionStats pixel = state.pixelStats(move.pixel);
  state.regionStats[move.regionA].release(pixel);
  state.regionStats[move.regionB].absorb(pixel);
  insertSorted(changed, move.regionA);
  insertSorted(changed, move.regionB);
  return true;
}

std::int64_t applyMoves(SegmentationState& state, const std::vector<PixelMove>& moves,
                        std::vector<std::int32_t>& revisit) {
  std::vector<std::int32_t> changed;
  std::int64_t applied = 0;
  for (const PixelMove& move : moves) {
    if (applyMove(state, move, changed)) ++applied;
  }
  for (const std::int32_t c : changed) {
    state.activeCosts[positionOf(state, c)] = state.regionStats[c].cost(state.balanceWeight);
  }
  revisit.clear();
  for (const std::int32_t c : changed) {
    for (const RegionPair& pair : state.neighbourPairs[c]) {
      revisit.push_back(pair.regionA);
      revisit.push_back(pair.regionB);
    }
  }
  std::sort(revisit.begin(), revisit.end());
  revisit.erase(std::unique(revisit.begin(), revisit.end()), revisit.end());
  return applied;
}

}  // namespace superpixels
