#pragma once

#include <cstdint>

namespace superpixels {

// The 8-neighbours of a pixel in the fixed order (x-1,y-1), (x-1,y), (x-1,y+1), (x,y-1), (x,y+1),
// (x+1,y-1), (x+1,y), (x+1,y+1), positions outside the image left out. Several tie-breaks depend on
// this order, which is not ascending by index. Derived on the fly rather than stored: storing the
// lists would cost more memory per pixel than everything else together.
struct NeighbourList {
  std::int32_t size = 0;
  std::int32_t items[8];

  const std::int32_t* begin() const { return items; }
  const std::int32_t* end() const { return items + size; }
};

// Neighbours of pixel p = y * width + x.
inline NeighbourList neighbourList(std::int32_t p, std::int32_t width, std::int32_t height) {
  NeighbourList list;
  const std::int32_t x = p % width;
  const std::int32_t y = p / width;
  for (std::int32_t c = x - 1; c <= x + 1; ++c) {
    if (c < 0 || c >= width) continue;
    for (std::int32_t r = y - 1; r <= y + 1; ++r) {
      if (r < 0 || r >= height || (c == x && r == y)) continue;
      list.items[list.size++] = r * width + c;
    }
  }
  return list;
}

// Calls visit(q) for every neighbour q of pixel p = y * width + x, in the order of neighbourList.
// Pixels off the image border take a path without bounds tests.
template <typename Visit>
__attribute__((always_inline)) inline void forEachNeighbour(std::int32_t p, std::int32_t x,
                                                            std::int32_t y, std::int32_t width,
                                                            std::int32_t height, Visit&& visit) {
  if (x > 0 && y > 0 && x + 1 < width && y + 1 < height) {
    visit(p - width - 1);
    visit(p - 1);
    visit(p + width - 1);
    visit(p - width);
    visit(p + width);
    visit(p - width + 1);
    visit(p + 1);
    visit(p + width + 1);
  } else {
    for (const std::int32_t q : neighbourList(p, width, height)) visit(q);
  }
}

// Calls visit(q) for every horizontal and vertical neighbour q of pixel p = y * width + x, in the
// order of neighbourList restricted to them: (x-1,y), (x,y-1), (x,y+1), (x+1,y).
template <typename Visit>
__attribute__((always_inline)) inline void forEachSideNeighbour(std::int32_t p, std::int32_t x,
                                                                std::int32_t y, std::int32_t width,
                                                                std::int32_t height,
                                                                Visit&& visit) {
  if (x > 0) visit(p - 1);
  if (y > 0) visit(p - width);
  if (y + 1 < height) visit(p + width);
  if (x + 1 < width) visit(p + 1);
}

}  // namespace superpixels
