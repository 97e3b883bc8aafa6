#include "boundary_metrics.hpp"

#include <algorithm>
#include <cmath>

namespace superpixels::eval {

namespace {

// Farther than any tolerance; its square does not overflow 64 bits.
constexpr std::int32_t noBoundary = 1 << 30;

}  // namespace

int boundaryTolerance(int width, int height) {
  const std::int64_t squaredDiagonal =
      static_cast<std::int64_t>(width) * width + static_cast<std::int64_t>(height) * height;
  // Floating point gives a first guess; integer checks settle the exact ceiling.
  auto r =
      static_cast<std::int64_t>(std::ceil(std::sqrt(static_cast<double>(squaredDiagonal)) / 400));
  while (r > 0 && 400 * 400 * (r - 1) * (r - 1) >= squaredDiagonal) --r;
  while (400 * 400 * r * r < squaredDiagonal) ++r;
  return static_cast<int>(r);
}

int squareWindowTolerance(int width, int height) {
  const std::int64_t squaredDiagonal =
      static_cast<std::int64_t>(width) * width + static_cast<std::int64_t>(height) * height;
  // 400 r - 200 <= diagonal, for r >= 1 the same as (400 r - 200)^2 <= squared diagonal.
  const auto fits = [&](std::int64_t r) {
    return r <= 0 || (400 * r - 200) * (400 * r - 200) <= squaredDiagonal;
  };
  auto r =
      static_cast<std::int64_t>(std::round(std::sqrt(static_cast<double>(squaredDiagonal)) / 400));
  while (r > 0 && !fits(r)) --r;
  while (fits(r + 1)) ++r;
  return static_cast<int>(r);
}

int defaultTolerance(int width, int height, BoundaryWindow window) {
  return window == BoundaryWindow::square ? squareWindowTolerance(width, height)
                                          : boundaryTolerance(width, height);
}

BoundaryMap boundaryMap(const LabelImage& image, BoundaryWindow window) {
  const bool fourSides = window == BoundaryWindow::square;
  const int w = image.width;
  const int h = image.height;
  BoundaryMap map;
  map.width = w;
  map.height = h;
  map.isBoundary.assign(image.labels.size(), 0);
  map.rowDistance.assign(image.labels.size(), noBoundary);
  for (int y = 0; y < h; ++y) {
    const std::size_t offset = static_cast<std::size_t>(y) * w;
    const std::int32_t* row = image.labels.data() + offset;
    const std::int32_t* below = y + 1 < h ? row + w : nullptr;
    const std::int32_t* above = fourSides && y > 0 ? row - w : nullptr;
    std::uint8_t* flags = map.isBoundary.data() + offset;
    std::int32_t* distance = map.rowDistance.data() + offset;
    for (int x = 0; x < w; ++x) {
      if ((x + 1 < w && row[x + 1] != row[x]) || (below && below[x] != row[x]) ||
          (fourSides && ((x > 0 && row[x - 1] != row[x]) || (above && above[x] != row[x])))) {
        flags[x] = 1;
        ++map.boundaryCount;
      }
    }
    // Nearest boundary pixel to the left, then to the right.
    std::int32_t d = noBoundary;
    for (int x = 0; x < w; ++x) {
      d = flags[x] ? 0 : std::min(d + 1, noBoundary);
      distance[x] = d;
    }
    d = noBoundary;
    for (int x = w - 1; x >= 0; --x) {
      d = flags[x] ? 0 : std::min(d + 1, noBoundary);
      distance[x] = std::min(distance[x], d);
    }
  }
  return map;
}

double boundaryMatchRate(const BoundaryMap& from, const BoundaryMap& to, int tolerance,
                         BoundaryWindow window) {
  if (from.boundaryCount == 0) return 1.0;
  const int w = from.width;
  const std::int64_t r2 = static_cast<std::int64_t>(tolerance) * tolerance;
  const bool square = window == BoundaryWindow::square;
  std::int64_t matched = 0;
  for (int y = 0; y < from.height; ++y) {
    const std::uint8_t* flags = from.isBoundary.data() + static_cast<std::size_t>(y) * w;
    const int top = std::max(y - tolerance, 0);
    const int bottom = std::min(y + tolerance, from.height - 1);
    for (int x = 0; x < w; ++x) {
      if (!flags[x]) continue;
      for (int ny = top; ny <= bottom; ++ny) {
        const std::int64_t dx = to.rowDistance[static_cast<std::size_t>(ny) * w + x];
        const std::int64_t dy = ny - y;
        if (square ? dx <= tolerance : dx * dx + dy * dy <= r2) {
          ++matched;
          break;
        }
      }
    }
  }
  return static_cast<double>(matched) / static_cast<double>(from.boundaryCount);
}

}  // namespace superpixels::eval
