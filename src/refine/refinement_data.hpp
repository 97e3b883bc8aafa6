#pragma once

#include <cstdint>
#include <vector>

#include "refine/quick_cost.hpp"

namespace superpixels {

// A proposed move of one pixel from its region to a touching one. Moves are applied in the order
// they were proposed, never by their gain, so the gain is not kept.
struct PixelMove {
  std::int32_t source = 0;  // the region the pixel leaves
  std::int32_t target = 0;  // the touching region it joins
  std::int32_t pixel = 0;
};

// Refinement's own data, made when refinement starts and released when it ends. Per-region tables
// are indexed by position in activeRegions, which does not change during refinement.
struct RefinementData {
  // Border bitmap: bit p % 64 of word p / 64 is set when pixel p has a neighbour in another
  // region, as of the last border update. Scanned in ascending pixel order.
  std::vector<std::uint64_t> boundaryBits;
  // Per position, the ids of the regions touching that region (each once, in no particular
  // order), as of the last border update.
  std::vector<std::vector<std::int32_t>> touchingRegions;
  std::vector<double> activeCosts;  // per position: cost of the region's model
  // Per position, what bounds the region's cost after a one-pixel change (refine/quick_cost.hpp).
  std::vector<QuickCost> quickCosts;
  std::vector<PixelMove> pendingMoves;  // sorted by (source, pixel)
  bool hasPreviousEnergy = false;
  double previousEnergy = 0.0;
};

}  // namespace superpixels
