#pragma once

#include <cstdint>

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Makes every region one piece: 8-connected, or with `connectivity` 4 connected through
// horizontal and vertical neighbours alone (pieces and the regions next to them are then found
// through those four neighbours). Regions are visited in ascending id order: each keeps its
// largest piece (the first found among equal sizes) unless that piece borders fewer than three
// other regions, in which case the whole region is dissolved; every piece not kept goes to the
// neighbouring region whose cost rises least by taking it in (the smallest id among equal rises).
// A region that covers the whole image (or a whole part of the mask) has no one to hand it to and
// is kept; a piece not kept that is a whole part of the mask becomes a region of its own, in a new
// slot. Pixels outside the mask take no part. Rebuilds `activeRegions` and `regionCount` at the
// end.
void enforceConnectivity(SegmentationState& state, std::int32_t connectivity = 8);

}  // namespace superpixels
