#include "refine/refinement.hpp"

#include <vector>

#include "refine/boundaries.hpp"
#include "refine/pixel_moves.hpp"
#include "refine/quick_cost.hpp"

namespace superpixels {

void prepareRefinement(SegmentationState& state, RefinementData& refinement) {
  refinement = RefinementData{};
  refinement.activeCosts.assign(state.regionCount, 0.0);
  refinement.touchingRegions.assign(state.regionCount, {});
  rebuildBoundaries(state, refinement);
  computeBalanceWeight(state);
  refinement.quickCosts.resize(state.regionCount);
  refreshCosts(state, refinement, {});
  proposeMoves(state, refinement, std::vector<std::uint8_t>(state.regionCount, 1));
  state.trace.initialProposals = static_cast<std::int64_t>(refinement.pendingMoves.size());
}

float totalEnergy(const RefinementData& refinement) {
  float sum = 0.0f;
  for (const double cost : refinement.activeCosts) {
    sum = static_cast<float>(static_cast<double>(sum) + cost);
  }
  return sum;
}

bool refinePass(SegmentationState& state, RefinementData& refinement) {
  std::vector<std::uint8_t> revisit;
  std::vector<std::int32_t> moved;
  const std::vector<PixelMove> moves = std::move(refinement.pendingMoves);
  refinement.pendingMoves.clear();
  const std::int64_t applied = applyMoves(state, refinement, moves, revisit, moved);
  // Only the regions in revisit can have changed borders or neighbours: a pixel whose label
  // changed was in a changed region, and every region next to it touched that region.
  updateBoundaries(state, refinement, moved);
  proposeMoves(state, refinement, revisit);

  const double energy = totalEnergy(refinement);
  Trace& trace = state.trace;
  ++trace.refinePasses;
  trace.passEnergies.push_back(energy);
  trace.passMovesPending.push_back(static_cast<std::int64_t>(moves.size()));
  trace.passMovesApplied.push_back(applied);
  trace.proposalsLeftAfterLastPass = static_cast<std::int64_t>(refinement.pendingMoves.size());

  if (!refinement.hasPreviousEnergy) {
    refinement.hasPreviousEnergy = true;
    refinement.previousEnergy = energy;
    return true;
  }
  const double relativeDecrease = (refinement.previousEnergy - energy) / refinement.previousEnergy;
  if (relativeDecrease > convergenceThreshold) {
    refinement.previousEnergy = energy;
    return true;
  }
  return false;
}

void refine(SegmentationState& state) {
  RefinementData refinement;
  refine(state, refinement);
}

void refine(SegmentationState& state, RefinementData& refinement) {
  prepareRefinement(state, refinement);
  int passes = 0;
  bool again = true;
  while (again && passes < maxRefinementPasses) {
    stopIfAsked(state);
    again = refinePass(state, refinement);
    ++passes;
  }
}

}  // namespace superpixels
