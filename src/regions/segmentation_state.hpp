#pragma once

#include <cstdint>
#include <vector>

#include "image/image_data.hpp"
#include "regions/label_map.hpp"
#include "regions/merge_heap.hpp"
#include "regions/region_stats.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// Weight of the spatial spread before refinement computes the image's own.
constexpr double initialBalanceWeight = 0.17;

// Two touching regions, regionA < regionB.
struct RegionPair {
  std::int32_t regionA = 0;
  std::int32_t regionB = 0;
};

// A proposed move of one pixel from region regionA to the touching region regionB.
struct PixelMove {
  double key = 0.0;  // gain when proposed; informational, moves are never ordered by it
  std::int32_t regionA = 0;
  std::int32_t regionB = 0;
  std::int32_t pixel = 0;
};

// Everything the engine knows about one image, from the initial blocks to the final labels. One
// context per image, passed explicitly to every stage; two contexts share nothing, so images can
// be segmented side by side on several threads. Per-region tables are indexed by slot id.
struct SegmentationState {
  // The image being segmented; must outlive the state.
  const ImageData* image = nullptr;

  // Grid of initial blocks.
  std::int32_t blockWidth = 0;
  std::int32_t blockHeight = 0;
  std::int32_t gridColumns = 0;
  std::int32_t gridRows = 0;
  std::int32_t pixelCount = 0;

  // Greedy merging: the candidates and, per slot, the live candidates that name the region (each
  // candidate is listed under both its regions, first under regionA).
  MergeHeap heap;
  std::vector<RegionStats> regionStats;
  std::vector<std::vector<CandidateId>> regionCandidates;

  LabelMap labelMap;
  // Ascending slot ids of the live regions and their number, built by merging and rebuilt by the
  // connectivity pass.
  std::vector<std::int32_t> activeRegions;
  std::int32_t regionCount = 0;

  // Refinement.
  float weightFactor = 0.0f;
  double balanceWeight = initialBalanceWeight;
  std::vector<std::vector<RegionPair>> neighbourPairs;      // per slot, touching regions
  std::vector<std::vector<std::int32_t>> boundaryPixels;    // per slot, ascending
  std::vector<double> activeCosts;  // cost per position in activeRegions (not per slot)
  std::vector<PixelMove> pendingMoves;  // sorted by (regionA, pixel)
  bool hasPreviousEnergy = false;
  double previousEnergy = 0.0;

  // What happened, for reports and tests.
  Figures figures;

  // Model of the single pixel p. Derived from the Lab image on every call instead of being stored:
  // it is cheaper to rebuild than the 152 bytes per pixel a table would take.
  RegionStats pixelStats(std::int32_t p) const {
    const std::uint8_t* lab = image->lab(p);
    return makePixel(p % image->width, p / image->width, lab[0], lab[1], lab[2]);
  }
};

}  // namespace superpixels
