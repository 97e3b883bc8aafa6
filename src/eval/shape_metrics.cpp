#include "shape_metrics.hpp"

#include <numbers>
#include <vector>

namespace superpixels::eval {

double compactness(const LabelImage& image) {
  const int w = image.width;
  const int h = image.height;
  std::vector<std::int64_t> area(image.count, 0);
  std::vector<std::int64_t> perimeter(image.count, 0);
  for (int y = 0; y < h; ++y) {
    const std::int32_t* row = image.labels.data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      const std::int32_t l = row[x];
      ++area[l];
      perimeter[l] += (x == 0 || row[x - 1] != l) + (x + 1 == w || row[x + 1] != l) +
                      (y == 0 || row[x - w] != l) + (y + 1 == h || row[x + w] != l);
    }
  }
  double sum = 0.0;
  for (std::int32_t s = 0; s < image.count; ++s) {
    const double a = static_cast<double>(area[s]);
    const double p = static_cast<double>(perimeter[s]);
    sum += a * (4.0 * std::numbers::pi * a / (p * p));
  }
  return sum / static_cast<double>(image.pixelCount());
}

std::int32_t notConnectedCount(const LabelImage& image) {
  const int w = image.width;
  const int h = image.height;
  std::vector<std::uint8_t> seen(image.labels.size(), 0);
  std::vector<std::int32_t> pieces(image.count, 0);
  std::vector<std::int32_t> stack;
  for (std::size_t start = 0; start < image.labels.size(); ++start) {
    if (seen[start]) continue;
    const std::int32_t l = image.labels[start];
    ++pieces[l];
    seen[start] = 1;
    stack.push_back(static_cast<std::int32_t>(start));
    while (!stack.empty()) {
      const std::int32_t p = stack.back();
      stack.pop_back();
      const int x = p % w;
      const int y = p / w;
      for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny) {
        for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx) {
          const std::int32_t q = ny * w + nx;
          if (seen[q] || image.labels[q] != l) continue;
          seen[q] = 1;
          stack.push_back(q);
        }
      }
    }
  }
  std::int32_t count = 0;
  for (const std::int32_t n : pieces) count += n > 1;
  return count;
}

}  // namespace superpixels::eval
