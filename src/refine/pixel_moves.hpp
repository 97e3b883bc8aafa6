#pragma once

#include <cstdint>
#include <vector>

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Decrease of the summed cost of regions s and t if pixel p moved from s to t; NaN when p is the
// only pixel of s. Changes nothing.
double moveGain(const SegmentationState& state, std::int32_t s, std::int32_t t, std::int32_t p);

// For every boundary pixel of the region at `position` in `activeRegions`, appends to
// `pendingMoves` the move to a touching region with the largest positive gain (the first met in
// the pixel's neighbour order among equal gains), if any.
void proposeMoves(SegmentationState& state, std::int32_t position);

// Carries out one move unless its source region is down to one pixel, and records both regions in
// `changed` (ascending, distinct). Returns whether the move was carried out.
bool applyMove(SegmentationState& state, const PixelMove& move, std::vector<std::int32_t>& changed);

// Carries out `moves` in order (gains are not re-checked), refreshes the cached costs of the
// changed regions and fills `revisit` with the changed regions and every region that touched one
// of them before the batch, ascending. Returns the number of moves carried out.
std::int64_t applyMoves(SegmentationState& state, const std::vector<PixelMove>& moves,
                        std::vector<std::int32_t>& revisit);

}  // namespace superpixels
