#pragma once

#include <cstdint>
#include <vector>

#include "label_image.hpp"
#include "superpixels_eval/evaluation.hpp"

namespace superpixels::eval {

// Matching tolerance in pixels for a width x height image: ceil(0.0025 x diagonal), that is the
// smallest r with 400 r >= sqrt(width^2 + height^2), computed exactly in integers.
int boundaryTolerance(int width, int height);

// Tolerance of the square window for a width x height image: round(0.0025 x diagonal), halves
// rounded up, that is the largest r with 400 r - 200 <= sqrt(width^2 + height^2), computed exactly.
int squareWindowTolerance(int width, int height);

// The boundary pixels of a segmentation as `window` defines them (those whose right or lower
// neighbour has another label, or for the square window those with any horizontal or vertical
// neighbour of another label), and for every pixel the horizontal distance to the nearest boundary
// pixel of its own row (a large value when the row has none). The second makes look-ups cost
// 2r + 1 reads.
struct BoundaryMap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> isBoundary;  // row-major, 1 on boundary pixels
  std::int64_t boundaryCount = 0;
  std::vector<std::int32_t> rowDistance;
};

BoundaryMap boundaryMap(const LabelImage& image, BoundaryWindow window = BoundaryWindow::disk);

// Fraction of the boundary pixels of `from` that have a boundary pixel of `to` within `tolerance`:
// in Euclidean distance for the disk (dx^2 + dy^2 <= tolerance^2, a disk with its edge), in both
// coordinates for the square (|dx| <= tolerance and |dy| <= tolerance); 1 when `from` has no
// boundary pixels. Both maps are of one image size. Recall is boundaryMatchRate(truth,
// superpixels, r), precision boundaryMatchRate(superpixels, truth, r).
double boundaryMatchRate(const BoundaryMap& from, const BoundaryMap& to, int tolerance,
                         BoundaryWindow window = BoundaryWindow::disk);

}  // namespace superpixels::eval
