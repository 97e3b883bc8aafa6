#pragma once

#include <cstdint>
#include <vector>

#include "refine/refinement_data.hpp"
#include "regions/segmentation_state.hpp"

namespace superpixels {

// Sets the cached cost and cost bound of every active region flagged in `changed` (one entry per
// position; all of them when `changed` is empty) from its statistics.
void refreshCosts(const SegmentationState& state, RefinementData& refinement,
                  const std::vector<std::uint8_t>& changed);

// For every border pixel of every region whose position is flagged in `revisit`, appends to
// `pendingMoves` the move to a touching region with the largest positive gain (the first met in
// the pixel's neighbour order among equal gains), if any; the moves come in ascending order of
// region, then pixel. Also rebuilds the flagged regions' `touchingRegions`. The gain of moving p
// from s to t is cost(s) + cost(t) - (cost(t + p) + cost(s - p)), NaN when p is the only pixel of
// s.
void proposeMoves(const SegmentationState& state, RefinementData& refinement,
                  const std::vector<std::uint8_t>& revisit);

// Carries out `moves` in order (gains are not re-checked; a move whose source is down to one
// pixel is dropped), refreshes the cached costs of the changed regions, flags in `revisit` (one
// entry per position) the changed regions and every region that touched one of them before the
// batch, and lists the moved pixels in `moved`. Returns the number of moves carried out.
std::int64_t applyMoves(SegmentationState& state, RefinementData& refinement,
                        const std::vector<PixelMove>& moves, std::vector<std::uint8_t>& revisit,
                        std::vector<std::int32_t>& moved);

}  // namespace superpixels
