#include "regions/candidates.hpp"

#include <algorithm>

namespace superpixels {

namespace {

// Under a mask: whether blocks s and t (t right of, below, below left of or below right of s)
// have pixels inside that are 8-adjacent. Only the pixels along their common edge or corner can
// be.
bool blocksTouch(const SegmentationState& state, std::int32_t s, std::int32_t t) {
  if (!(state.regionStats[s].count > 0.0) || !(state.regionStats[t].count > 0.0)) return false;
  const ImageData& image = *state.image;
  const std::int32_t step = state.blockWidth;
  const std::int32_t sx = (s % state.gridColumns) * step, sy = (s / state.gridColumns) * step;
  const std::int32_t tx = (t % state.gridColumns) * step, ty = (t / state.gridColumns) * step;
  const std::int32_t sxEnd = std::min(sx + step, image.width) - 1;
  const std::int32_t syEnd = std::min(sy + step, image.height) - 1;
  const std::int32_t txEnd = std::min(tx + step, image.width) - 1;
  const std::int32_t tyEnd = std::min(ty + step, image.height) - 1;
  if (ty == sy) {  // right: s's last column against t's first, rows within one apart
    for (std::int32_t y = sy; y <= syEnd; ++y) {
      if (!image.inside(sxEnd, y)) continue;
      for (std::int32_t v = std::max(y - 1, ty); v <= std::min(y + 1, tyEnd); ++v) {
        if (image.inside(tx, v)) return true;
      }
    }
    return false;
  }
  if (tx == sx) {  // below: s's last row against t's first, columns within one apart
    for (std::int32_t x = sx; x <= sxEnd; ++x) {
      if (!image.inside(x, syEnd)) continue;
      for (std::int32_t u = std::max(x - 1, tx); u <= std::min(x + 1, txEnd); ++u) {
        if (image.inside(u, ty)) return true;
      }
    }
    return false;
  }
  // Diagonal: the two corner pixels that meet.
  const std::int32_t cornerX = tx < sx ? sx : sxEnd;
  const std::int32_t otherX = tx < sx ? txEnd : tx;
  return image.inside(cornerX, syEnd) && image.inside(otherX, ty);
}

}  // namespace

double candidateKey(const SegmentationState& state, const MergeData& merge, std::int32_t a,
                    std::int32_t b) {
  const double merged = unionCost(state.regionStats[a], state.regionStats[b], state.balanceWeight);
  return -((merged - merge.regionCandidates.cost(a)) - merge.regionCandidates.cost(b));
}

void seedCandidates(SegmentationState& state, MergeData& merge) {
  const std::int32_t columns = state.gridColumns;
  const std::int32_t rows = state.gridRows;
  // One candidate per horizontal, vertical and diagonal pair of neighbouring blocks: the pairs are
  // listed first, keyed side by side (keys depend on the blocks alone), then put in the heap in
  // the listed order.
  std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
  pairs.reserve(rows * (columns - 1) + (rows - 1) * columns + 2 * (rows - 1) * (columns - 1));
  const bool masked = state.image->hasMask();
  for (std::int32_t i = 0; i < rows; ++i) {
    for (std::int32_t j = 0; j < columns; ++j) {
      const std::int32_t s = i * columns + j;
      const auto add = [&](std::int32_t other) {
        if (!masked || blocksTouch(state, s, other)) pairs.emplace_back(s, other);
      };
      if (j + 1 < columns) add(s + 1);
      if (i + 1 < rows) {
        add(s + columns);
        if (j > 0) add(s + columns - 1);
        if (j + 1 < columns) add(s + columns + 1);
      }
    }
  }
  const std::size_t count = pairs.size();
  std::vector<double> keys(count);
  constexpr std::size_t pairsPerPart = 8192;
  forEachPart(state, (count + pairsPerPart - 1) / pairsPerPart, [&](std::int64_t part) {
    const std::size_t first = static_cast<std::size_t>(part) * pairsPerPart;
    for (std::size_t k = first; k < std::min(count, first + pairsPerPart); ++k) {
      keys[k] = candidateKey(state, merge, pairs[k].first, pairs[k].second);
    }
  });
  merge.heap.reserve(static_cast<std::int32_t>(count));
  for (std::size_t k = 0; k < count; ++k) {
    const auto [a, b] = pairs[k];
    const CandidateId c = merge.heap.create(a, b);
    merge.heap.insert(c, keys[k]);
    merge.regionCandidates.push(a, c);
    merge.regionCandidates.push(b, c);
  }
  state.trace.seededCandidates = static_cast<std::int64_t>(count);
}

}  // namespace superpixels
