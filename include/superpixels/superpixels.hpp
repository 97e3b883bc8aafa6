#pragma once

// Public interface of the superpixels engine: one decoded colour image in, one label map out.

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace superpixels {

// Version of the library and of the command-line tool.
std::string version();

// Largest superpixel count accepted: the grid needs 25 times the count in a 32-bit integer.
constexpr std::int32_t maxSuperpixelCount = 2147483647 / 25;

// What a segmentation asks for. Plain aggregate; `isValid` is the one check.
struct Options {
  // Number of superpixels wanted; the result may hold fewer. 1 .. maxSuperpixelCount.
  std::int32_t superpixelCount = 200;
  // Weight of spatial compactness against colour uniformity; finite and not negative.
  float weightFactor = 0.5f;

  // True when every field is usable; otherwise `why` (if given) names the field, its value and the
  // broken constraint.
  bool isValid(std::string* why = nullptr) const;
};

// Figures of one run, for reports, benchmarks and regression tests.
struct Figures {
  std::int32_t step = 0;                 // side of an initial square block, in pixels
  std::int32_t gridColumns = 0;          // block columns
  std::int32_t gridRows = 0;             // block rows
  std::int32_t initialRegionCount = 0;   // blocks
  std::int64_t seededCandidates = 0;     // merge candidates made between adjacent blocks
  bool mergeReachedCount = false;        // greedy merging reached the requested count
  std::int32_t mergedRegionCount = 0;    // regions after greedy merging
  double sumColour = 0.0;                // colour terms summed over the merged regions
  double sumSpatial = 0.0;               // spatial spreads summed over the merged regions
  double balanceWeight = 0.0;            // weight of the spatial spread used by refinement
  std::int64_t initialProposals = 0;     // pixel moves proposed before the first pass
  std::int32_t refinePasses = 0;         // refinement passes run
  std::vector<double> passEnergies;      // total energy after each pass
  std::vector<std::int64_t> passMovesPending;  // moves handed to each pass
  std::vector<std::int64_t> passMovesApplied;  // moves each pass carried out
  std::int64_t proposalsLeftAfterLastPass = 0;
  std::int32_t dissolvedRegions = 0;      // regions handed over whole by the connectivity pass
  std::int32_t keptWholeImageRegions = 0; // regions covering the whole image, kept as they are
  std::int32_t finalRegionCount = 0;
  std::vector<std::int32_t> activeRegions;  // ids (initial block numbers) of the final regions

  // Wall-clock seconds per stage of the engine.
  double setUpSeconds = 0.0;
  double mergeSeconds = 0.0;
  double refineSeconds = 0.0;
  double connectivitySeconds = 0.0;
};

// Display colour of a superpixel, each component one of k / 21 for k = 0 .. 20.
struct Colour {
  float red = 0.0f;
  float green = 0.0f;
  float blue = 0.0f;
};

struct Result {
  std::int32_t width = 0;
  std::int32_t height = 0;
  // Compact superpixel number of every pixel, row-major (index y * width + x), 0 .. regionCount - 1.
  // Superpixels are numbered in the order of the initial block they grew from.
  std::vector<std::int32_t> labels;
  std::int32_t regionCount = 0;
  // Display colour per compact superpixel number.
  std::vector<Colour> colours;
  Figures figures;
};

// Segments one image: `bgr` must be 8-bit with 3 channels in blue, green, red order (as cv::imread
// gives it), at least 1 x 1 and with fewer than 2^31 pixels. Throws std::invalid_argument for an
// unusable image or invalid options.
//
// Thread contract: fully re-entrant. Every call builds its own context and shares nothing, so
// images may be segmented side by side on several threads. The result depends only on the image
// and the options.
Result segment(const cv::Mat& bgr, const Options& options);

}  // namespace superpixels
