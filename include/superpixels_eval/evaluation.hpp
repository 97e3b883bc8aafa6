#pragma once

// The evaluation library's interface to other front ends (the Python module): the scores of one
// segmentation, given as plain label arrays, computed by the very code superpixels-eval runs.
// Everything else of src/eval stays internal.

#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace superpixels::eval {

// How the boundary pixels of two segmentations are matched.
enum class BoundaryWindow {
  // Boundary pixels are those whose right or lower neighbour has another label; two pixels match
  // within Euclidean distance r (dx^2 + dy^2 <= r^2). r defaults to ceil(0.0025 x diagonal).
  disk,
  // As in the superpixel benchmark of Stutz et al. (CVIU 2018): boundary pixels are those with a
  // horizontal or vertical neighbour of another label; two pixels match within the
  // (2r + 1) x (2r + 1) square around one (|dx| <= r and |dy| <= r). r defaults to
  // round(0.0025 x diagonal).
  square,
};

struct BoundaryMatching {
  BoundaryWindow window = BoundaryWindow::disk;
  // In pixels, 0 .. maxTolerance; below 0: the window's default for the image's size.
  int tolerance = -1;
};

inline constexpr int maxTolerance = 1000000;

// The window's default tolerance for a width x height image, computed exactly in integers.
int defaultTolerance(int width, int height, BoundaryWindow window);

// Quality of one superpixel map. The first five are computed against every annotation and
// averaged over them; the rest depend on the superpixels (and the photo) alone.
struct ImageScores {
  double annotations = 0;
  double boundaryRecall = 0;
  double boundaryPrecision = 0;
  double undersegmentationError = 0;
  double achievableSegmentationAccuracy = 0;
  std::optional<double> explainedVariation;  // without a photo: none
  double compactness = 0;
  double superpixelCount = 0;
  double notConnectedCount = 0;
};

// Scores `superpixels` (width x height, row-major, any label values: -1 is a label like any
// other) against `groundTruths` (at least one, each of that size, any label values), with the
// explained variation when `photo` is not empty (8-bit BGR, 3 channels, of that size). Throws
// std::invalid_argument when the sizes disagree or there is no annotation.
ImageScores scoreSegmentation(std::vector<std::int32_t> superpixels, int width, int height,
                              std::vector<std::vector<std::int32_t>> groundTruths,
                              const cv::Mat& photo, const BoundaryMatching& matching);

}  // namespace superpixels::eval
