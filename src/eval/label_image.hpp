#pragma once

#include <cstdint>
#include <vector>

namespace superpixels::eval {

// A segmentation of a width x height image: row-major labels, compacted to 0 .. count - 1 with
// every value in use. Superpixel maps and ground truths alike.
struct LabelImage {
  int width = 0;
  int height = 0;
  std::int32_t count = 0;
  std::vector<std::int32_t> labels;

  std::int64_t pixelCount() const { return static_cast<std::int64_t>(width) * height; }
};

// Builds a LabelImage from raw labels (any values, `labels.size() == width * height`; -1, outside
// a mask, is one label like any other), renumbering them in increasing order of value.
LabelImage compactLabelImage(int width, int height, std::vector<std::int32_t> labels);

}  // namespace superpixels::eval
