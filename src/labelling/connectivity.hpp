#pragma once

#include "regions/segmentation_state.hpp"

namespace superpixels {

// Makes every region one 8-connected piece. Regions are visited in ascending id order: each keeps
// its largest piece (the first found among equal sizes) unless that piece borders fewer than three
// other regions, in which case the whole region is dissolved; every piece not kept goes to the
// neighbouring region whose cost rises least by taking it in (the smallest id among equal rises).
// A region that covers the whole image has no one to hand it to and is kept. Rebuilds
// `activeRegions` and `regionCount` at the end.
void enforceConnectivity(SegmentationState& state);

}  // namespace superpixels
