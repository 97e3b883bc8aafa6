#include "overlap_metrics.hpp"

#include <algorithm>

namespace superpixels::eval {

Overlaps overlaps(const LabelImage& superpixels, const LabelImage& groundTruth) {
  Overlaps result;
  result.pixelCount = superpixels.pixelCount();
  result.superpixelSizes.assign(superpixels.count, 0);
  for (const std::int32_t s : superpixels.labels) ++result.superpixelSizes[s];

  // Pixels grouped by superpixel (a counting sort), then counted per segment one superpixel at
  // a time in a dense table that is cleared through the list of segments touched.
  std::vector<std::size_t> start(superpixels.count + 1, 0);
  for (std::int32_t s = 0; s < superpixels.count; ++s) {
    start[s + 1] = start[s] + static_cast<std::size_t>(result.superpixelSizes[s]);
  }
  std::vector<std::int32_t> bySuperpixel(superpixels.labels.size());
  std::vector<std::size_t> next(start.begin(), start.end() - 1);
  for (std::size_t p = 0; p < superpixels.labels.size(); ++p) {
    bySuperpixel[next[superpixels.labels[p]]++] = static_cast<std::int32_t>(p);
  }

  std::vector<std::int64_t> counts(groundTruth.count, 0);
  std::vector<std::int32_t> touched;
  result.first.reserve(superpixels.count + 1);
  for (std::int32_t s = 0; s < superpixels.count; ++s) {
    result.first.push_back(result.cells.size());
    for (std::size_t i = start[s]; i < start[s + 1]; ++i) {
      const std::int32_t g = groundTruth.labels[bySuperpixel[i]];
      if (counts[g]++ == 0) touched.push_back(g);
    }
    for (const std::int32_t g : touched) {
      result.cells.push_back({g, counts[g]});
      counts[g] = 0;
    }
    touched.clear();
  }
  result.first.push_back(result.cells.size());
  return result;
}

double undersegmentationError(const Overlaps& overlaps) {
  std::int64_t leak = 0;
  for (std::size_t s = 0; s < overlaps.superpixelSizes.size(); ++s) {
    for (std::size_t i = overlaps.first[s]; i < overlaps.first[s + 1]; ++i) {
      const std::int64_t inside = overlaps.cells[i].pixels;
      leak += std::min(inside, overlaps.superpixelSizes[s] - inside);
    }
  }
  return static_cast<double>(leak) / static_cast<double>(overlaps.pixelCount);
}

double achievableSegmentationAccuracy(const Overlaps& overlaps) {
  std::int64_t right = 0;
  for (std::size_t s = 0; s < overlaps.superpixelSizes.size(); ++s) {
    std::int64_t best = 0;
    for (std::size_t i = overlaps.first[s]; i < overlaps.first[s + 1]; ++i) {
      best = std::max(best, overlaps.cells[i].pixels);
    }
    right += best;
  }
  return static_cast<double>(right) / static_cast<double>(overlaps.pixelCount);
}

}  // namespace superpixels::eval
