#include "refine/pixel_moves.hpp"

#include <algorithm>

#include "refine/boundaries.hpp"
#include "refine/changed_cost.hpp"
#include "refine/quick_cost.hpp"

namespace superpixels {

namespace {

// Neighbouring border pixels mostly touch the same region: the last one listed is tried first,
// and a region found further in becomes the last one (the list's order means nothing).
__attribute__((always_inline)) inline void noteTouching(std::vector<std::int32_t>& touching,
                                                        std::int32_t region) {
  if (!touching.empty() && touching.back() == region) return;
  const auto found = std::find(touching.begin(), touching.end(), region);
  if (found == touching.end()) {
    touching.push_back(region);
  } else {
    std::iter_swap(found, touching.end() - 1);
  }
}

// Records the regions touching a region's border pixel: in place in touchingRegions when one
// thread proposes, as (position, region) pairs of the band when bands are proposed side by side.
struct TouchingInPlace {
  RefinementData& refinement;
  void operator()(std::int32_t position, std::int32_t region) {
    noteTouching(refinement.touchingRegions[position], region);
  }
};
// A pair is met again at nearly every pixel along the same stretch of border; a small table of
// the pairs seen last keeps most repeats out of the band's list.
struct TouchingPairs {
  std::vector<std::pair<std::int32_t, std::int32_t>>& pairs;
  static constexpr std::uint32_t slots = 256;
  std::uint64_t seen[slots];
  explicit TouchingPairs(std::vector<std::pair<std::int32_t, std::int32_t>>& into) : pairs(into) {
    std::fill(std::begin(seen), std::end(seen), ~std::uint64_t{0});
  }
  void operator()(std::int32_t position, std::int32_t region) {
    const std::uint64_t key = static_cast<std::uint64_t>(static_cast<std::uint32_t>(position))
                                  << 32 |
                              static_cast<std::uint32_t>(region);
    std::uint64_t& slot = seen[(key * 0x9E3779B97F4A7C15ull) >> 56];
    if (slot == key) return;
    slot = key;
    pairs.emplace_back(position, region);
  }
};

// The best move of border pixel p = y * width + x of region m (at `position`), if any gains.
// `masked`: pixels outside the mask (noRegion) may neighbour p; they are no target.
template <bool masked, typename Touching>
void proposeMove(const SegmentationState& state, const RefinementData& refinement,
                 Touching& touching, std::int32_t m, std::int32_t position, std::int32_t p,
                 std::int32_t x, std::int32_t y, std::vector<PixelMove>& found) {
  const ImageData& image = *state.image;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  // The regions next to p, each once, in neighbour order: a region met again gives the same gain,
  // which never beats itself.
  std::int32_t targets[8];
  int targetCount = 0;
  forEachNeighbour(p, x, y, image.width, image.height, [&](std::int32_t q) {
    const std::int32_t l = labels[q];
    if (l == m || (targetCount > 0 && l == targets[0])) return;
    if (masked && l == noRegion) return;
    if (std::find(targets + 1, targets + targetCount, l) == targets + targetCount) {
      targets[targetCount++] = l;
    }
  });
  for (int i = 0; i < targetCount; ++i) touching(position, targets[i]);
  // Releasing p from a one-pixel region leaves NaN statistics: every gain is NaN.
  const RegionStats& source = state.regionStats[m];
  if (source.count < 2.0) return;

  // The gain old - (cost(target + p) + cost(source - p)), exactly as releasing p from the source
  // and absorbing it into the target, then taking both costs, would give it. The
  // source's cost without p does not depend on the target and is computed once. Most gains fall
  // well short of the best so far, so each is first bounded cheaply (QuickCost), then, if that
  // cannot rule it out, from the changed statistics with bounded cube roots (ChangedCost), and
  // only then computed with pow. At count 200 on a BSDS500 photo, QuickCost settles about 96 % of
  // the 1.1 M gains: refinement took 0.66 G instructions with every gain in full, 0.45 G with the
  // cube roots bounded, 0.30 G with QuickCost first. Computing the source's and the first target's
  // bounds side by side in the two lanes of SSE2 registers took more (277.5 M -> 281.6 M): pairing
  // the two regions' parameters in the lanes cost what the halved arithmetic saved. Bounding the
  // gains of a bitmap word's border pixels side by side (listed first, then bounded 2 or 4 at a
  // time, then decided in order) took more still: on photo 42012 refinement went from 339.5 M
  // instructions to 393.8 M with AVX2 and 421.3 M with SSE2 at count 200 (458.0 M to 521.5 M and
  // 563.6 M at count 1000). Each lane's region has its own 17 terms, gathered one by one, so a
  // vector bound costs about what the scalar one does (some 40 instructions), and listing the
  // changes and reading the bounds back adds some 28 more per gain.
  const double w = state.balanceWeight;
  const std::uint8_t* lab = image.lab(x, y);
  const PixelFeatures pixel{static_cast<double>(x), static_cast<double>(y),
                            static_cast<double>(lab[0]), static_cast<double>(lab[1]),
                            static_cast<double>(lab[2])};
  const QuickCost& sourceQuick = refinement.quickCosts[position];
  CostBound releasedBound = sourceQuick.withoutPixel(pixel, w);
  ChangedCost released;
  bool releasedDone = false;
  const auto release = [&] {
    if (!releasedDone) {
      released = ChangedCost::withoutPixel(source, pixel, w, sourceQuick.anchor());
      releasedDone = true;
    }
  };
  if (!releasedBound.known) {
    release();
    releasedBound = {released.lo(), true};
  }
  const double sourceCost = refinement.activeCosts[position];
  double best = 0.0;
  std::int32_t target = m;
  for (int i = 0; i < targetCount; ++i) {
    const std::int32_t l = targets[i];
    const std::int32_t at = positionOf(state, l);
    const double old = refinement.activeCosts[at] + sourceCost;
    const QuickCost& targetQuick = refinement.quickCosts[at];
    const CostBound grownBound = targetQuick.withPixel(pixel, w);
    if (grownBound.known && !(old - (grownBound.lo + releasedBound.lo) > best)) continue;
    ChangedCost grown =
        ChangedCost::withPixel(state.regionStats[l], pixel, w, targetQuick.anchor());
    release();
    if (!(old - (grown.lo() + released.lo()) > best)) continue;
    const double gain = old - (grown.exact() + released.exact());
    if (gain > best) {
      best = gain;
      target = l;
    }
  }
  if (best > 0.0) found.push_back({m, target, p});
}

// proposeMove for every border pixel in rows firstRow .. endRow - 1 of a region flagged in
// `revisit`, in ascending order.
template <bool masked, typename Touching>
void proposeForBorderPixels(const SegmentationState& state, const RefinementData& refinement,
                            const std::vector<std::uint8_t>& revisit, Touching& touching,
                            std::int32_t firstRow, std::int32_t endRow,
                            std::vector<PixelMove>& found) {
  const std::int32_t width = state.image->width;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  std::int32_t y = firstRow;
  std::int32_t rowStart = firstRow * width;
  const std::size_t begin = static_cast<std::size_t>(firstRow) * width;
  const std::size_t end = static_cast<std::size_t>(endRow) * width;
  const std::vector<std::uint64_t>& bits = refinement.boundaryBits;
  for (std::size_t word = begin / 64; word < (end + 63) / 64; ++word) {
    std::uint64_t rest = bits[word];
    // The band's first and last words may hold pixels of the bands next to it.
    if (word == begin / 64) rest &= ~std::uint64_t{0} << (begin % 64);
    if (word == end / 64) rest &= (std::uint64_t{1} << (end % 64)) - 1;
    for (; rest != 0; rest &= rest - 1) {
      const std::int32_t p = static_cast<std::int32_t>(word * 64) + __builtin_ctzll(rest);
      const std::int32_t m = labels[p];
      const std::int32_t position = positionOf(state, m);
      if (!revisit[position]) continue;
      while (p >= rowStart + width) {
        rowStart += width;
        ++y;
      }
      proposeMove<masked>(state, refinement, touching, m, position, p, p - rowStart, y, found);
    }
  }
}

// Rows per band when bands are proposed side by side: enough pixels for a task to outweigh its
// hand-out, few enough for the bands of a small photo to spread over several threads.
constexpr std::int32_t rowsPerBand = 16;

// Every border pixel's proposal, in ascending pixel order, in `found`.
template <bool masked>
void proposeAll(const SegmentationState& state, RefinementData& refinement,
                const std::vector<std::uint8_t>& revisit, std::vector<PixelMove>& found) {
  const std::int32_t height = state.image->height;
  if (state.executor == nullptr || state.threads <= 1 || height <= rowsPerBand) {
    TouchingInPlace touching{refinement};
    proposeForBorderPixels<masked>(state, refinement, revisit, touching, 0, height, found);
    return;
  }
  // Proposals read statistics that stay unchanged until the batch is applied, so bands may be
  // proposed side by side; each band keeps its moves and touching pairs, joined in band order.
  const std::int32_t bands = (height + rowsPerBand - 1) / rowsPerBand;
  std::vector<std::vector<PixelMove>> bandMoves(bands);
  std::vector<std::vector<std::pair<std::int32_t, std::int32_t>>> bandPairs(bands);
  forEachPart(state, bands, [&](std::int64_t band) {
    const std::int32_t first = static_cast<std::int32_t>(band) * rowsPerBand;
    // Filled in vectors of the task's own and moved into the band's slot at the end: neighbouring
    // slots share cache lines, and two threads growing them there would take turns at the line.
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    std::vector<PixelMove> moves;
    TouchingPairs touching{pairs};
    proposeForBorderPixels<masked>(state, refinement, revisit, touching, first,
                                   std::min(height, first + rowsPerBand), moves);
    // Each pair once, so that joining them is not the sequential part that takes longest.
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    bandPairs[band] = std::move(pairs);
    bandMoves[band] = std::move(moves);
  });
  std::size_t total = 0;
  for (const std::vector<PixelMove>& moves : bandMoves) total += moves.size();
  found.reserve(total);
  for (std::int32_t band = 0; band < bands; ++band) {
    found.insert(found.end(), bandMoves[band].begin(), bandMoves[band].end());
    for (const auto& [position, region] : bandPairs[band]) {
      noteTouching(refinement.touchingRegions[position], region);
    }
  }
}

}  // namespace

void refreshCosts(const SegmentationState& state, RefinementData& refinement,
                  const std::vector<std::uint8_t>& changed) {
  // Region by region, independent: in parts side by side.
  constexpr std::int32_t regionsPerPart = 256;
  const std::int32_t count = state.regionCount;
  forEachPart(state, (count + regionsPerPart - 1) / regionsPerPart, [&](std::int64_t part) {
    const std::int32_t first = static_cast<std::int32_t>(part) * regionsPerPart;
    for (std::int32_t j = first; j < std::min(count, first + regionsPerPart); ++j) {
      if (!changed.empty() && !changed[j]) continue;
      const RegionStats& region = state.regionStats[state.activeRegions[j]];
      refinement.activeCosts[j] = region.cost(state.balanceWeight);
      refinement.quickCosts[j] = QuickCost(region, state.longerSide());
    }
  });
}

void proposeMoves(const SegmentationState& state, RefinementData& refinement,
                  const std::vector<std::uint8_t>& revisit) {
  for (std::int32_t j = 0; j < state.regionCount; ++j) {
    if (revisit[j]) refinement.touchingRegions[j].clear();
  }
  // Border pixels are visited in ascending order, all regions at once; the proposals are then
  // put in region order, which keeps pixel order within a region.
  std::vector<PixelMove> found;
  if (state.image->hasMask()) {
    proposeAll<true>(state, refinement, revisit, found);
  } else {
    proposeAll<false>(state, refinement, revisit, found);
  }
  std::vector<std::int32_t> start(state.regionCount + 1, 0);
  for (const PixelMove& move : found) ++start[positionOf(state, move.source) + 1];
  for (std::int32_t j = 0; j < state.regionCount; ++j) start[j + 1] += start[j];
  const std::size_t first = refinement.pendingMoves.size();
  refinement.pendingMoves.resize(first + found.size());
  for (const PixelMove& move : found) {
    refinement.pendingMoves[first + start[positionOf(state, move.source)]++] = move;
  }
}

std::int64_t applyMoves(SegmentationState& state, RefinementData& refinement,
                        const std::vector<PixelMove>& moves, std::vector<std::uint8_t>& revisit,
                        std::vector<std::int32_t>& moved) {
  std::vector<std::uint8_t> changed(state.regionCount, 0);
  std::int64_t applied = 0;
  moved.clear();
  // A batch's pixels lie far apart (region after region): their label and Lab bytes are fetched
  // 16 moves ahead. On a 12 MP photo, applying took 485 ms without, 305 ms 8 ahead, 276 ms 16
  // ahead and 294 ms 32 ahead.
  constexpr std::size_t ahead = 16;
  const std::int32_t width = state.image->width;
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const PixelMove& move = moves[i];
    if (i + ahead < moves.size()) {
      const std::int32_t later = moves[i + ahead].pixel;
      __builtin_prefetch(&state.labelMap.labels[later], 1);
      __builtin_prefetch(state.image->lab(later % width, later / width));
    }
    RegionStats& source = state.regionStats[move.source];
    if (source.count < 2.0) continue;
    state.labelMap.labels[move.pixel] = move.target;
    const std::int32_t x = move.pixel % state.image->width;
    const std::int32_t y = move.pixel / state.image->width;
    state.releasePixel(source, x, y);
    state.absorbPixel(state.regionStats[move.target], x, y);
    changed[positionOf(state, move.source)] = 1;
    changed[positionOf(state, move.target)] = 1;
    moved.push_back(move.pixel);
    ++applied;
  }
  refreshCosts(state, refinement, changed);
  revisit.assign(state.regionCount, 0);
  for (std::int32_t j = 0; j < state.regionCount; ++j) {
    if (!changed[j]) continue;
    // A changed region touches at least one other (its moved pixel had a neighbour there).
    const std::vector<std::int32_t>& touching = refinement.touchingRegions[j];
    if (touching.empty()) continue;
    revisit[j] = 1;
    for (const std::int32_t n : touching) revisit[positionOf(state, n)] = 1;
  }
  return applied;
}

}  // namespace superpixels
