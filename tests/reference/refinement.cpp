// Reference refinement: borders rebuilt over the whole image, every gain evaluated in full.

#include <algorithm>
#include <cmath>

#include "reference/reference_engine.hpp"

namespace superpixels::reference {

namespace {

std::int32_t positionOf(const SegmentationState& state, std::int32_t id) {
  std::int32_t lo = 0;
  std::int32_t hi = state.regionCount - 1;
  while (lo <= hi) {
    const std::int32_t mid = (lo + hi) / 2;
    const std::int32_t value = state.activeRegions[mid];
    if (value < id) {
      lo = mid + 1;
    } else if (value > id) {
      hi = mid - 1;
    } else {
      return mid;
    }
  }
  return -1;
}

void insertSorted(std::vector<std::int32_t>& set, std::int32_t value) {
  const auto at = std::lower_bound(set.begin(), set.end(), value);
  if (at == set.end() || *at != value) set.insert(at, value);
}

void eraseSorted(std::vector<std::int32_t>& set, std::int32_t value) {
  const auto at = std::lower_bound(set.begin(), set.end(), value);
  if (at != set.end() && *at == value) set.erase(at);
}

void rebuildBoundaries(SegmentationState& state) {
  for (const std::int32_t m : state.activeRegions) {
    state.neighbourPairs[m].clear();
    state.boundaryPixels[m].clear();
  }
  std::vector<std::int32_t> larger;
  for (const std::int32_t m : state.activeRegions) {
    larger.clear();
    for (const std::int32_t p : state.regionPixels[m]) {
      bool onBoundary = false;
      for (const std::int32_t q : neighboursOf(*state.image, p)) {
        const std::int32_t l = state.labels[q];
        if (l != m) onBoundary = true;
        if (m < l) larger.push_back(l);
      }
      if (onBoundary) state.boundaryPixels[m].push_back(p);
    }
    std::sort(larger.begin(), larger.end());
    larger.erase(std::unique(larger.begin(), larger.end()), larger.end());
    for (const std::int32_t n : larger) {
      state.neighbourPairs[m].push_back({m, n});
      state.neighbourPairs[n].push_back({m, n});
    }
  }
}

void computeBalanceWeight(SegmentationState& state) {
  double sumColour = 0.0;
  double sumSpatial = 0.0;
  for (const std::int32_t id : state.activeRegions) {
    const RegionStats& r = state.regionStats[id];
    sumColour += r.colourCost();
    sumSpatial += r.positionScatter(0, 0) + r.positionScatter(1, 1);
  }
  state.trace.sumColour = sumColour;
  state.trace.sumSpatial = sumSpatial;
  if (sumSpatial != 0.0) {
    const double weight = (static_cast<double>(state.weightFactor) * sumColour) / sumSpatial;
    if (std::isfinite(weight)) state.balanceWeight = weight;
  }
  state.trace.balanceWeight = state.balanceWeight;
}

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
  for (const std::int32_t p : state.boundaryPixels[m]) {
    double best = 0.0;
    std::int32_t target = m;
    for (const std::int32_t q : neighboursOf(*state.image, p)) {
      const std::int32_t l = state.labels[q];
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

std::int64_t applyMoves(SegmentationState& state, const std::vector<PixelMove>& moves,
                        std::vector<std::int32_t>& revisit) {
  std::vector<std::int32_t> changed;
  std::int64_t applied = 0;
  for (const PixelMove& move : moves) {
    if (state.regionStats[move.regionA].count < 2.0) continue;
    eraseSorted(state.regionPixels[move.regionA], move.pixel);
    insertSorted(state.regionPixels[move.regionB], move.pixel);
    state.labels[move.pixel] = move.regionB;
    const RegionStats pixel = state.pixelStats(move.pixel);
    state.regionStats[move.regionA].release(pixel);
    state.regionStats[move.regionB].absorb(pixel);
    insertSorted(changed, move.regionA);
    insertSorted(changed, move.regionB);
    ++applied;
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

float totalEnergy(const SegmentationState& state) {
  float sum = 0.0f;
  for (std::int32_t i = 0; i < state.regionCount; ++i) {
    sum = static_cast<float>(static_cast<double>(sum) + state.activeCosts[i]);
  }
  return sum;
}

}  // namespace

void prepareRefinement(SegmentationState& state) {
  state.activeCosts.assign(state.regionCount, 0.0);
  rebuildBoundaries(state);
  computeBalanceWeight(state);
  for (std::int32_t i = 0; i < state.regionCount; ++i) {
    state.activeCosts[i] = state.regionStats[state.activeRegions[i]].cost(state.balanceWeight);
  }
  for (std::int32_t j = 0; j < state.regionCount; ++j) proposeMoves(state, j);
  state.trace.initialProposals = static_cast<std::int64_t>(state.pendingMoves.size());
}

bool refinePass(SegmentationState& state) {
  std::vector<std::int32_t> revisit;
  const std::vector<PixelMove> moves = std::move(state.pendingMoves);
  state.pendingMoves.clear();
  const std::int64_t applied = applyMoves(state, moves, revisit);
  rebuildBoundaries(state);
  for (const std::int32_t r : revisit) proposeMoves(state, positionOf(state, r));

  const double energy = totalEnergy(state);
  Trace& figures = state.trace;
  ++figures.refinePasses;
  figures.passEnergies.push_back(energy);
  figures.passMovesPending.push_back(static_cast<std::int64_t>(moves.size()));
  figures.passMovesApplied.push_back(applied);
  figures.proposalsLeftAfterLastPass = static_cast<std::int64_t>(state.pendingMoves.size());

  if (!state.hasPreviousEnergy) {
    state.hasPreviousEnergy = true;
    state.previousEnergy = energy;
    return true;
  }
  const double relativeDecrease = (state.previousEnergy - energy) / state.previousEnergy;
  if (relativeDecrease > 0.0010000000474974513) {
    state.previousEnergy = energy;
    return true;
  }
  return false;
}

void refine(SegmentationState& state) {
  prepareRefinement(state);
  int passes = 0;
  bool again = true;
  while (again && passes < 22) {
    again = refinePass(state);
    ++passes;
  }
}

}  // namespace superpixels::reference
