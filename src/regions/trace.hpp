#pragma once

#include <cstdint>
#include <vector>

namespace superpixels {

// What happened while one image was segmented, stage by stage: the figures the golden vectors and
// the equivalence test compare, and what the benchmark reports. Internal: region ids here are slot
// ids (initial block numbers), which mean nothing outside the engine.
struct Trace {
  std::int32_t step = 0;                       // side of an initial square block, in pixels
  std::int32_t gridColumns = 0;                // block columns
  std::int32_t gridRows = 0;                   // block rows
  std::int32_t initialRegionCount = 0;         // blocks
  std::int64_t seededCandidates = 0;           // merge candidates made between adjacent blocks
  bool mergeReachedCount = false;              // greedy merging reached the requested count
  std::int32_t mergedRegionCount = 0;          // regions after greedy merging
  double sumColour = 0.0;                      // colour terms summed over the merged regions
  double sumSpatial = 0.0;                     // spatial spreads summed over the merged regions
  double balanceWeight = 0.0;                  // weight of the spatial spread used by refinement
  std::int64_t initialProposals = 0;           // pixel moves proposed before the first pass
  std::int32_t refinePasses = 0;               // refinement passes run
  std::vector<double> passEnergies;            // total energy after each pass
  std::vector<std::int64_t> passMovesPending;  // moves handed to each pass
  std::vector<std::int64_t> passMovesApplied;  // moves each pass carried out
  std::int64_t proposalsLeftAfterLastPass = 0;
  std::int32_t dissolvedRegions = 0;       // regions handed over whole by the connectivity pass
  std::int32_t keptWholeImageRegions = 0;  // regions covering the whole image, kept as they are
  std::int32_t finalRegionCount = 0;
  std::vector<std::int32_t> activeRegions;  // slot ids of the final regions
};

}  // namespace superpixels
