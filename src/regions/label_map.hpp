#pragma once

#include <cstdint>
#include <vector>

#include "superpixels/superpixels.hpp"

namespace superpixels {

// Label of a pixel outside the mask: it belongs to no region.
inline constexpr std::int32_t noRegion = -1;

// Which region every pixel belongs to and every region's display colour. Regions are numbered by
// slot id: the row-major number of the initial block they grew from. Greedy merging keeps the
// region tree instead of the labels and brings `labels` up to date when it ends.
struct LabelMap {
  std::vector<float> red;  // per slot, one of k / 21 for k = 0 .. 20
  std::vector<float> green;
  std::vector<float> blue;
  // Per pixel index y * width + x, the region's slot id; noRegion outside the mask.
  std::vector<std::int32_t> labels;
  std::int32_t slotCount = 0;

  // Cuts a width x height image into blocks of blockWidth x blockHeight (the last column and row
  // may be narrower), one region per block, and draws the display colours
  // (displayColours: a slot's colour depends on its id alone, never on the image or on the images
  // segmented before it).
  LabelMap(std::int32_t width, std::int32_t height, std::int32_t blockWidth,
           std::int32_t blockHeight);
  LabelMap() = default;
};

// Number of blocks of size `step` needed to cover `length` pixels.
inline std::int32_t blocksToCover(std::int32_t length, std::int32_t step) {
  return length / step + (length % step != 0 ? 1 : 0);
}

}  // namespace superpixels
