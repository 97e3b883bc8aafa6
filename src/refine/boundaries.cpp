#include "refine/boundaries.hpp"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace superpixels {

namespace {

bool hasForeignNeighbour(const std::vector<std::int32_t>& labels, std::int32_t p, std::int32_t x,
                         std::int32_t y, std::int32_t width, std::int32_t height) {
  const std::int32_t own = labels[p];
  bool foreign = false;
  forEachNeighbour(p, x, y, width, height,
                   [&](std::int32_t q) { foreign = foreign || labels[q] != own; });
  return foreign;
}

// hasForeignNeighbour for a pixel off the image border: no bounds tests, and it stops at the first
// foreign neighbour.
inline bool hasForeignInteriorNeighbour(const std::int32_t* l, std::int32_t p, std::int32_t width) {
  const std::int32_t own = l[p];
  const std::int32_t* above = l + p - width;
  const std::int32_t* below = l + p + width;
  return above[-1] != own || l[p - 1] != own || below[-1] != own || above[0] != own ||
         below[0] != own || above[1] != own || l[p + 1] != own || below[1] != own;
}

#if defined(__x86_64__)
// hasForeignInteriorNeighbour of the four pixels p .. p + 3 at once, bit i for pixel p + i. The
// pixels and their neighbours must lie inside the label array.
inline unsigned foreignInteriorNeighbours4(const std::int32_t* l, std::int32_t p,
                                           std::int32_t width) {
  const __m128i own = _mm_loadu_si128(reinterpret_cast<const __m128i*>(l + p));
  __m128i same = _mm_set1_epi32(-1);
  for (const std::int32_t offset : {-width - 1, -width, -width + 1, -1, 1, width - 1, width,
                                    width + 1}) {
    const __m128i other = _mm_loadu_si128(reinterpret_cast<const __m128i*>(l + p + offset));
    same = _mm_and_si128(same, _mm_cmpeq_epi32(own, other));
  }
  return ~static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(same))) & 0xFu;
}

// The same for the eight pixels p .. p + 7; run only where the processor has AVX2.
__attribute__((target("avx2"))) unsigned foreignInteriorNeighbours8(const std::int32_t* l,
                                                                    std::int32_t p,
                                                                    std::int32_t width) {
  const __m256i own = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(l + p));
  __m256i same = _mm256_set1_epi32(-1);
  for (const std::int32_t offset : {-width - 1, -width, -width + 1, -1, 1, width - 1, width,
                                    width + 1}) {
    const __m256i other = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(l + p + offset));
    same = _mm256_and_si256(same, _mm256_cmpeq_epi32(own, other));
  }
  return ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(same))) & 0xFFu;
}
#endif

// Pixels whose border status one vector step finds on `path` (1: one pixel at a time).
int statusLanes(SimdPath path) {
#if defined(__x86_64__)
  if (path == SimdPath::avx2) return 8;
  if (path == SimdPath::sse2) return 4;
#else
  (void)path;
#endif
  return 1;
}

// hasForeignInteriorNeighbour of the `lanes` pixels from p on (statusLanes), bit i for p + i.
inline unsigned foreignInteriorNeighbours(const std::int32_t* l, std::int32_t p,
                                          std::int32_t width, int lanes) {
#if defined(__x86_64__)
  if (lanes == 8) return foreignInteriorNeighbours8(l, p, width);
  if (lanes == 4) return foreignInteriorNeighbours4(l, p, width);
#endif
  (void)lanes;
  return hasForeignInteriorNeighbour(l, p, width) ? 1u : 0u;
}

// Under a mask: pixel p is inside and has a neighbour inside labelled differently. Pixels outside
// are in no region and border none.
bool hasForeignInsideNeighbour(const std::vector<std::int32_t>& labels, std::int32_t p,
                               std::int32_t x, std::int32_t y, std::int32_t width,
                               std::int32_t height) {
  const std::int32_t own = labels[p];
  if (own == noRegion) return false;
  bool foreign = false;
  forEachNeighbour(p, x, y, width, height, [&](std::int32_t q) {
    foreign = foreign || (labels[q] != own && labels[q] != noRegion);
  });
  return foreign;
}

void setBit(std::vector<std::uint64_t>& bits, std::int32_t p, bool on) {
  const std::uint64_t mask = std::uint64_t{1} << (p & 63);
  std::uint64_t& word = bits[static_cast<std::size_t>(p) >> 6];
  word = on ? word | mask : word & ~mask;
}

// Sets the border bits of pixels begin .. end - 1 (both multiples of 64 but for the image's end, so
// that the words written belong to this range alone). The bits start cleared.
template <bool masked, int lanes>
void markBorderPixels(const SegmentationState& state, RefinementData& refinement,
                      std::int32_t begin, std::int32_t end) {
  const std::int32_t width = state.image->width;
  const std::int32_t height = state.image->height;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  const std::int32_t* l = labels.data();
  std::int32_t y = begin / width;
  std::int32_t x = begin - y * width;
  for (std::int32_t p = begin; p < end; ++p, ++x) {
    if (x == width) {
      x = 0;
      ++y;
    }
    // Runs of pixels off the image border, `lanes` at a time; their bits lie in this part's
    // words, as p + lanes <= end.
    while (!masked && lanes > 1 && y > 0 && y + 1 < height && x > 0 && x + lanes < width &&
           p + lanes <= end) {
      const std::uint64_t found = foreignInteriorNeighbours(l, p, width, lanes);
      std::uint64_t* word = &refinement.boundaryBits[static_cast<std::size_t>(p) >> 6];
      word[0] |= found << (p & 63);
      if ((p & 63) + lanes > 64) word[1] |= found >> (64 - (p & 63));
      p += lanes;
      x += lanes;
    }
    if (lanes > 1 && p >= end) break;
    bool foreign;
    if (masked) {
      foreign = hasForeignInsideNeighbour(labels, p, x, y, width, height);
    } else {
      foreign = y > 0 && y + 1 < height && x > 0 && x + 1 < width
                    ? hasForeignInteriorNeighbour(l, p, width)
                    : hasForeignNeighbour(labels, p, x, y, width, height);
    }
    if (foreign) setBit(refinement.boundaryBits, p, true);
  }
}

}  // namespace

void rebuildBoundaries(const SegmentationState& state, RefinementData& refinement) {
  const std::int32_t pixels = state.image->width * state.image->height;
  refinement.boundaryBits.assign((static_cast<std::size_t>(pixels) + 63) / 64, 0);
  // Parts of whole words are independent, and may be done side by side.
  constexpr std::int32_t pixelsPerPart = 64 * 1024;
  const bool masked = state.image->hasMask();
  const int lanes = statusLanes(state.simdPath);
  forEachPart(state, (pixels + pixelsPerPart - 1) / pixelsPerPart, [&](std::int64_t part) {
    const std::int32_t begin = static_cast<std::int32_t>(part) * pixelsPerPart;
    const std::int32_t end = std::min(pixels, begin + pixelsPerPart);
    if (masked) {
      markBorderPixels<true, 1>(state, refinement, begin, end);
    } else if (lanes == 8) {
      markBorderPixels<false, 8>(state, refinement, begin, end);
    } else if (lanes == 4) {
      markBorderPixels<false, 4>(state, refinement, begin, end);
    } else {
      markBorderPixels<false, 1>(state, refinement, begin, end);
    }
  });
}

namespace {

// The border status of the 3 x 3 window around `centre`: bit 3 (dy + 1) + (dx + 1) for the pixel at
// offset (dx, dy); positions off the image are left 0.
std::uint16_t windowStatus(const SegmentationState& state, std::int32_t centre, bool masked) {
  const std::int32_t width = state.image->width;
  const std::int32_t height = state.image->height;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  const std::int32_t cx = centre % width;
  const std::int32_t cy = centre / width;
  std::uint16_t status = 0;
  if (!masked && cx >= 2 && cy >= 2 && cx + 2 < width && cy + 2 < height) {
    // The window lies off the image border (the common case): no bounds tests.
    for (std::int32_t dy = -1; dy <= 1; ++dy) {
      for (std::int32_t dx = -1; dx <= 1; ++dx) {
        const std::int32_t p = centre + dy * width + dx;
        if (hasForeignInteriorNeighbour(labels.data(), p, width)) {
          status |= 1u << (3 * (dy + 1) + dx + 1);
        }
      }
    }
    return status;
  }
  for (std::int32_t y = std::max(cy - 1, 0); y <= std::min(cy + 1, height - 1); ++y) {
    for (std::int32_t x = std::max(cx - 1, 0); x <= std::min(cx + 1, width - 1); ++x) {
      const std::int32_t p = y * width + x;
      const bool foreign = masked ? hasForeignInsideNeighbour(labels, p, x, y, width, height)
                                  : hasForeignNeighbour(labels, p, x, y, width, height);
      if (foreign) status |= 1u << (3 * (y - cy + 1) + x - cx + 1);
    }
  }
  return status;
}

// Writes a window's status into the bitmap.
void setWindow(const SegmentationState& state, RefinementData& refinement, std::int32_t centre,
               std::uint16_t status) {
  const std::int32_t width = state.image->width;
  const std::int32_t height = state.image->height;
  const std::int32_t cx = centre % width;
  const std::int32_t cy = centre / width;
  for (std::int32_t y = std::max(cy - 1, 0); y <= std::min(cy + 1, height - 1); ++y) {
    for (std::int32_t x = std::max(cx - 1, 0); x <= std::min(cx + 1, width - 1); ++x) {
      setBit(refinement.boundaryBits, y * width + x,
             (status >> (3 * (y - cy + 1) + x - cx + 1)) & 1);
    }
  }
}

}  // namespace

void updateBoundaries(const SegmentationState& state, RefinementData& refinement,
                      const std::vector<std::int32_t>& moved) {
  const bool masked = state.image->hasMask();
  // The statuses depend on the labels alone, which stay as they are here: they are found side by
  // side in parts of the moved pixels, then written in order (overlapping windows agree).
  constexpr std::size_t movedPerPart = 4096;
  if (state.executor != nullptr && state.threads > 1 && moved.size() > movedPerPart) {
    std::vector<std::uint16_t> statuses(moved.size());
    forEachPart(state, (moved.size() + movedPerPart - 1) / movedPerPart, [&](std::int64_t part) {
      const std::size_t first = static_cast<std::size_t>(part) * movedPerPart;
      for (std::size_t i = first; i < std::min(moved.size(), first + movedPerPart); ++i) {
        statuses[i] = windowStatus(state, moved[i], masked);
      }
    });
    for (std::size_t i = 0; i < moved.size(); ++i) {
      setWindow(state, refinement, moved[i], statuses[i]);
    }
    return;
  }
  // The windows stay one pixel at a time on every path: a window's row in four SSE2 lanes took
  // more (photo 42012, count 200: 12.5 M -> 15.0 M instructions), the scalar test mostly stopping
  // at the first foreign neighbour of a border pixel.
  const std::int32_t width = state.image->width;
  const std::int32_t height = state.image->height;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  const std::int32_t* l = labels.data();
  for (const std::int32_t centre : moved) {
    const std::int32_t cx = centre % width;
    const std::int32_t cy = centre / width;
    if (!masked && cx >= 2 && cy >= 2 && cx + 2 < width && cy + 2 < height) {
      // The window lies off the image border (the common case): no bounds tests.
      for (std::int32_t dy = -1; dy <= 1; ++dy) {
        for (std::int32_t dx = -1; dx <= 1; ++dx) {
          const std::int32_t p = centre + dy * width + dx;
          setBit(refinement.boundaryBits, p, hasForeignInteriorNeighbour(l, p, width));
        }
      }
      continue;
    }
    setWindow(state, refinement, centre, windowStatus(state, centre, masked));
  }
}

void computeBalanceWeight(SegmentationState& state) {
  double sumColour = 0.0;
  double sumSpatial = 0.0;
  for (const std::int32_t id : state.activeRegions) {
    const RegionStats& r = state.regionStats[id];
    sumColour += r.colourCost();
    sumSpatial += r.positionScatter(0, 0) + r.positionScatter(1, 1);
  }
  state.trace.sumColour = sumColour;
  state.trace.sumSpatial = sumSpatial;
  if (sumSpatial != 0.0) {
    const double weight = (static_cast<double>(state.weightFactor) * sumColour) / sumSpatial;
    if (std::isfinite(weight)) state.balanceWeight = weight;
  }
  state.trace.balanceWeight = state.balanceWeight;
}

}  // namespace superpixels
