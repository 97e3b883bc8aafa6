// Reference connectivity pass.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "reference/reference_engine.hpp"

namespace superpixels::reference {

namespace {

// Minimum number of neighbouring regions the largest piece needs for its region to survive.
constexpr std::size_t minNeighbourRegions = 3;

// Starting value of the best cost rise: any real rise is smaller.
constexpr double noReceiverYet = 1e20;

struct Piece {
  std::vector<std::int32_t> pixels;      // ascending
  std::vector<std::int32_t> neighbours;  // region ids next to the piece, ascending, own id excluded
};

// Splits region c into its 8-connected pieces, in ascending order of their smallest pixel.
// `inRegion` is a per-pixel scratch flag, all false on entry and on exit.
std::vector<Piece> findPieces(const SegmentationState& state, std::int32_t c,
                              std::vector<std::uint8_t>& inRegion) {
  const ImageData& image = *state.image;
  const std::vector<std::int32_t>& labels = state.labels;
  const std::vector<std::int32_t>& pixels = state.regionPixels[c];
  for (const std::int32_t p : pixels) inRegion[p] = 1;

  std::vector<Piece> pieces;
  std::vector<std::int32_t> queue;
  for (const std::int32_t seed : pixels) {
    if (!inRegion[seed]) continue;
    inRegion[seed] = 0;
    Piece piece;
    queue.assign(1, seed);
    for (std::size_t head = 0; head < queue.size(); ++head) {
      for (const std::int32_t a : neighboursOf(image, queue[head])) {
        if (inRegion[a]) {
          inRegion[a] = 0;
          queue.push_back(a);
        }
        if (labels[a] != c) piece.neighbours.push_back(labels[a]);
      }
    }
    piece.pixels = queue;
    std::sort(piece.pixels.begin(), piece.pixels.end());
    std::sort(piece.neighbours.begin(), piece.neighbours.end());
    piece.neighbours.erase(std::unique(piece.neighbours.begin(), piece.neighbours.end()),
                           piece.neighbours.end());
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

RegionStats statsOf(const SegmentationState& state, const std::vector<std::int32_t>& pixels) {
  RegionStats s;
  for (const std::int32_t p : pixels) s.absorb(state.pixelStats(p));
  return s;
}

// Hands `piece` to the neighbouring region whose cost rises least by taking it in.
void handOver(SegmentationState& state, const Piece& piece) {
  const RegionStats s = statsOf(state, piece.pixels);
  const double w = state.balanceWeight;
  std::int32_t target = piece.neighbours.front();
  double best = noReceiverYet;
  for (const std::int32_t u : piece.neighbours) {
    RegionStats joint = s;
    joint.absorb(state.regionStats[u]);
    const double delta = (joint.cost(w) - s.cost(w)) - state.regionStats[u].cost(w);
    if (delta < best) {
      target = u;
      best = delta;
    }
  }
  std::vector<std::int32_t>& into = state.regionPixels[target];
  const auto middle = static_cast<std::ptrdiff_t>(into.size());
  into.insert(into.end(), piece.pixels.begin(), piece.pixels.end());
  std::inplace_merge(into.begin(), into.begin() + middle, into.end());
  for (const std::int32_t p : piece.pixels) state.labels[p] = target;
  state.regionStats[target].absorb(s);
}

}  // namespace

void enforceConnectivity(SegmentationState& state) {
  std::vector<std::uint8_t> inRegion(state.labels.size(), 0);
  const std::vector<std::int32_t> regions = state.activeRegions;
  for (const std::int32_t c : regions) {
    const std::vector<Piece> pieces = findPieces(state, c, inRegion);
    std::size_t kept = 0;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
      if (pieces[i].pixels.size() > pieces[kept].pixels.size()) kept = i;
    }
    const std::vector<std::int32_t>& keptNeighbours = pieces[kept].neighbours;
    const bool wholeImage = keptNeighbours.empty();
    const bool dissolve = !wholeImage && keptNeighbours.size() < minNeighbourRegions;
    if (dissolve) {
      state.regionPixels[c].clear();
      state.regionStats[c] = RegionStats{};
      ++state.trace.dissolvedRegions;
    } else {
      state.regionPixels[c] = pieces[kept].pixels;
      state.regionStats[c] = statsOf(state, pieces[kept].pixels);
      if (wholeImage) ++state.trace.keptWholeImageRegions;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (dissolve || i != kept) handOver(state, pieces[i]);
    }
  }
  listActiveRegions(state);
  state.trace.finalRegionCount = state.regionCount;
  state.trace.activeRegions = state.activeRegions;
}

}  // namespace superpixels::reference
