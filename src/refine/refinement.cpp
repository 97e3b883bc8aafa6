#include "refine/refinement.hpp"

#include <vector>

#include "refine/boundaries.hpp"
#include "refine/pixel_moves.hpp"
#include "regions/quick_cost.hpp"

namespace superpixels {

void prepareRefinement(SegmentationState& state) {
  state.activeCosts.assign(state.regionCount, 0.0);
  state.touchingRegions.assign(state.regionCount, {});
  rebuildBoundaries(state);
  computeBalanceWeight(state);
  state.quickCosts.resize(state.regionCount);
  for (std::int32_t i = 0; i < state.regionCount; ++i) {
    const RegionStats& region = state.regionStats[state.activeRegions[i]];
    state.activeCosts[i] = region.cost(state.balanceWeight);
    state.quickCosts[i] = QuickCost(region, state.longerSide());
  }
  state.pendingMoves.clear();
  proposeMoves(state, std::vector<std::uint8_t>(state.regionCount, 1));
  state.figures.initialProposals = static_cast<std::int64_t>(state.pendingMoves.size());
}

float totalEnergy(const SegmentationState& state) {
  float sum = 0.0f;
  for (std::int32_t i = 0; i < state.regionCount; ++i) {
    sum = static_cast<float>(static_cast<double>(sum) + state.activeCosts[i]);
  }
  return sum;
}

bool refinePass(SegmentationState& state) {
  std::vector<std::uint8_t> revisit;
  std::vector<std::int32_t> moved;
  const std::vector<PixelMove> moves = std::move(state.pendingMoves);
  state.pendingMoves.clear();
  const std::int64_t applied = applyMoves(state, moves, revisit, moved);
  // Only the regions in revisit can have changed borders or neighbours: a pixel whose label
  // changed was in a changed region, and every region next to it touched that region.
  updateBoundaries(state, moved);
  proposeMoves(state, revisit);

  const double energy = totalEnergy(state);
  Figures& figures = state.figures;
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
  if (relativeDecrease > convergenceThreshold) {
    state.previousEnergy = energy;
    return true;
  }
  return false;
}

void refine(SegmentationState& state) {
  prepareRefinement(state);
  int passes = 0;
  bool again = true;
  while (again && passes < maxRefinementPasses) {
    again = refinePass(state);
    ++passes;
  }
}

}  // namespace superpixels
