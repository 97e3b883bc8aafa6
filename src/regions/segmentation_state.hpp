#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "image/image_data.hpp"
#include "regions/candidate_lists.hpp"
#include "regions/label_map.hpp"
#include "regions/merge_heap.hpp"
#include "regions/quick_cost.hpp"
#include "regions/region_stats.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels {

// Weight of the spatial spread before refinement computes the image's own.
constexpr double initialBalanceWeight = 0.17;

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
  // Per slot, the region's model; a region is live while its count is positive (merging zeroes
  // the count of the region it absorbs, the connectivity pass empties dissolved regions).
  std::vector<RegionStats> regionStats;
  std::vector<double> regionCosts;  // per live slot during merging: cost of its model
  CandidateLists regionCandidates;
  // Per slot, the region it was merged into (itself while live); after merging, the live region
  // it ended in.
  std::vector<std::int32_t> mergedInto;
  std::vector<std::int32_t> mergeScratch;  // neighbours of a union, reused from merge to merge

  LabelMap labelMap;
  // Ascending slot ids of the live regions and their number, built by merging and rebuilt by the
  // connectivity pass.
  std::vector<std::int32_t> activeRegions;
  std::int32_t regionCount = 0;
  // Per slot, its position in activeRegions, or -1 when it is not listed.
  std::vector<std::int32_t> positions;

  // Refinement.
  float weightFactor = 0.0f;
  double balanceWeight = initialBalanceWeight;
  // Border bitmap: bit p % 64 of word p / 64 is set when pixel p has a neighbour in another
  // region, as of the last border update. Scanned in ascending pixel order.
  std::vector<std::uint64_t> boundaryBits;
  // Per position in activeRegions, the ids of the regions touching that region (each once, in no
  // particular order), as of the last border update.
  std::vector<std::vector<std::int32_t>> touchingRegions;
  std::vector<double> activeCosts;  // cost per position in activeRegions (not per slot)
  // Per position, what bounds the region's cost after a one-pixel change (regions/quick_cost.hpp).
  std::vector<QuickCost> quickCosts;
  std::vector<PixelMove> pendingMoves;  // sorted by (regionA, pixel)
  bool hasPreviousEnergy = false;
  double previousEnergy = 0.0;

  // What happened, for reports and tests.
  Figures figures;

  // The image's larger dimension: the largest position coordinate.
  double longerSide() const { return std::max(image->width, image->height); }

  // Model of the single pixel p. Derived from the Lab image on every call instead of being stored:
  // it is cheaper to rebuild than the 152 bytes per pixel a table would take.
  RegionStats pixelStats(std::int32_t p) const {
    return pixelStats(p % image->width, p / image->width);
  }
  // The same for the pixel at column x, row y.
  RegionStats pixelStats(std::int32_t x, std::int32_t y) const {
    const std::uint8_t* lab = image->lab(x, y);
    return makePixel(x, y, lab[0], lab[1], lab[2]);
  }
  // region.absorbPixel or releasePixel of the pixel at column x, row y.
  void absorbPixel(RegionStats& region, std::int32_t x, std::int32_t y) const {
    const std::uint8_t* lab = image->lab(x, y);
    region.absorbPixel(x, y, lab[0], lab[1], lab[2]);
  }
  void releasePixel(RegionStats& region, std::int32_t x, std::int32_t y) const {
    const std::uint8_t* lab = image->lab(x, y);
    region.releasePixel(x, y, lab[0], lab[1], lab[2]);
  }
};

}  // namespace superpixels
