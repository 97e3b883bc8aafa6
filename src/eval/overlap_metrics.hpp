#pragma once

#include <cstdint>
#include <vector>

#include "label_image.hpp"

namespace superpixels::eval {

// The pixel counts |S ∩ G| of every superpixel S and ground-truth segment G that meet, grouped by
// superpixel: the cells of superpixel s are cells[first[s]] .. cells[first[s + 1] - 1].
struct Overlaps {
  struct Cell {
    std::int32_t segment = 0;
    std::int64_t pixels = 0;
  };
  std::int64_t pixelCount = 0;
  std::vector<std::int64_t> superpixelSizes;
  std::vector<std::size_t> first;
  std::vector<Cell> cells;
};

// Both maps are of the same size.
Overlaps overlaps(const LabelImage& superpixels, const LabelImage& groundTruth);

// Corrected undersegmentation error: sum over segments G of the sum over superpixels S meeting G
// of min(|S ∩ G|, |S - G|), divided by the pixel count.
double undersegmentationError(const Overlaps& overlaps);

// Achievable segmentation accuracy: sum over superpixels S of max over G of |S ∩ G|, divided by
// the pixel count (the share of pixels right when every superpixel takes its best segment).
double achievableSegmentationAccuracy(const Overlaps& overlaps);

}  // namespace superpixels::eval
