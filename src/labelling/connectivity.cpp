#include "labelling/connectivity.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "regions/segmentation_state.hpp"

namespace superpixels {

namespace {

// Minimum number of neighbouring regions the largest piece needs for its region to survive.
constexpr std::size_t minNeighbourRegions = 3;

// Starting value of the best cost rise: any real rise is smaller.
constexpr double noReceiverYet = 1e20;

// A piece of a region: a range of the pass's pixel buffer and of its neighbour buffer.
struct Piece {
  std::size_t begin = 0, end = 0;                      // pixels, ascending once sorted
  std::size_t neighboursBegin = 0, neighboursEnd = 0;  // region ids next to it, ascending
  std::size_t size() const { return end - begin; }
};

// Working data of the pass, allocated once.
struct Pass {
  SegmentationState& state;
  std::int32_t width;
  std::int32_t height;
  double inverseWidth;
  // Every region's pixels as merging and refinement left them, ascending: pixels of slot s are
  // order[start[s]] .. order[start[s + 1] - 1]. A region's pixels leave it only in its own turn.
  std::vector<std::int32_t> order;
  std::vector<std::int32_t> start;
  // Pixels handed to a region whose turn has not come yet, in hand-over order.
  std::vector<std::vector<std::int32_t>> received;
  // Regions whose model still has to be rebuilt from their kept pixels: `wholeSlice`, their slice
  // of `order`, rebuilt only if a later hand-over reads it; `keptPiece`, the pixels of their slice
  // still labelled with them, rebuilt when a later hand-over reads it or else once the pass ends.
  static constexpr std::uint8_t wholeSlice = 1, keptPiece = 2;
  std::vector<std::uint8_t> stale;
  std::vector<std::uint8_t> reached;  // per pixel, reached in the current region's turn
  std::vector<std::int32_t> pieceOf;  // per pixel, its piece, when a region has several
  std::vector<std::size_t> cursor;    // per piece, where its next pixel goes
  std::vector<std::int32_t> pixels;   // the current region's pixels when it received some
  std::vector<std::int32_t> queue;    // the current region's pixels, piece after piece
  std::vector<std::int32_t> near;     // the pieces' neighbour ids, piece after piece
  std::vector<Piece> pieces;

  explicit Pass(SegmentationState& s)
      : state(s), width(s.image->width), height(s.image->height), inverseWidth(1.0 / width) {}

  // x and y of pixel p without an integer division; exact after the correction.
  void position(std::int32_t p, std::int32_t& x, std::int32_t& y) const {
    y = static_cast<std::int32_t>(p * inverseWidth);
    x = p - y * width;
    if (x < 0) {
      --y;
      x += width;
    } else if (x >= width) {
      ++y;
      x -= width;
    }
  }

  RegionStats statsOf(const std::int32_t* first, const std::int32_t* last) const {
    RegionStats s;
    for (const std::int32_t* p = first; p != last; ++p) {
      std::int32_t x, y;
      position(*p, x, y);
      state.absorbPixel(s, x, y);
    }
    return s;
  }

  const RegionStats& statsOfRegion(std::int32_t u) {
    if (stale[u] == wholeSlice) {
      state.regionStats[u] = statsOf(order.data() + start[u], order.data() + start[u + 1]);
    } else if (stale[u] == keptPiece) {
      state.regionStats[u] = statsOfKeptPiece(u);
    }
    stale[u] = 0;
    return state.regionStats[u];
  }

  // The model of region u's kept piece, after u's turn: the pixels of its slice still labelled u,
  // ascending, as the piece lies in `queue` in u's turn. No pixel is labelled u again before its
  // model has been read (a hand-over reads every receiver it weighs), so none is added here.
  RegionStats statsOfKeptPiece(std::int32_t u) const {
    const std::int32_t* labels = state.labelMap.labels.data();
    RegionStats s;
    for (std::int32_t i = start[u]; i < start[u + 1]; ++i) {
      const std::int32_t p = order[i];
      if (labels[p] != u) continue;
      std::int32_t x, y;
      position(p, x, y);
      state.absorbPixel(s, x, y);
    }
    return s;
  }

  // Splits region c, whose pixels are `all` (ascending), into its pieces, in ascending order of
  // their smallest pixel: 8-connected, or with `sidesOnly` 4-connected (pieces and the regions next
  // to them are then found through the horizontal and vertical neighbours alone). `masked`:
  // pixels outside the mask (noRegion) may lie next to a piece; they are no neighbouring region.
  template <bool masked, bool sidesOnly>
  void findPieces(std::int32_t c, const std::int32_t* all, std::size_t count) {
    const std::int32_t* labels = state.labelMap.labels.data();
    std::uint8_t* seen = reached.data();
    // Every pixel labelled c is in `all`, so the queue never holds more than `count`.
    queue.resize(count);
    std::int32_t* const first = queue.data();
    std::int32_t* tail = first;
    near.clear();
    pieces.clear();
    for (std::size_t i = 0; i < count; ++i) {
      const std::int32_t seed = all[i];
      if (seen[seed]) continue;
      seen[seed] = 1;
      Piece piece;
      piece.begin = static_cast<std::size_t>(tail - first);
      piece.neighboursBegin = near.size();
      *tail++ = seed;
      // The visit is kept small so that it is inlined at all eight neighbours; a foreign label
      // takes the out-of-line path.
      const auto visit = [&](std::int32_t a) __attribute__((always_inline)) {
        const std::int32_t l = labels[a];
        if (l == c) {
          if (!seen[a]) {
            seen[a] = 1;
            *tail++ = a;
          }
        } else if (!masked || l != noRegion) {
          noteNeighbour(piece.neighboursBegin, l);
        }
      };
      for (const std::int32_t* head = first + piece.begin; head < tail; ++head) {
        const std::int32_t z = *head;
        std::int32_t x, y;
        position(z, x, y);
        if (sidesOnly) {
          forEachSideNeighbour(z, x, y, width, height, visit);
        } else {
          forEachNeighbour(z, x, y, width, height, visit);
        }
      }
      piece.end = static_cast<std::size_t>(tail - first);
      piece.neighboursEnd = near.size();
      std::sort(near.begin() + piece.neighboursBegin, near.end());
      pieces.push_back(piece);
    }
    for (std::size_t i = 0; i < count; ++i) seen[all[i]] = 0;
    if (pieces.size() == 1) {
      // A single piece is the whole, already ascending, pixel list.
      std::copy(all, all + count, queue.begin());
    } else {
      sortPieces(all, count);
    }
  }

  // Records label l as next to the piece whose neighbours start at near[from].
  __attribute__((noinline)) void noteNeighbour(std::size_t from, std::int32_t l) {
    if (std::find(near.begin() + from, near.end(), l) == near.end()) near.push_back(l);
  }

  // Puts every piece's pixels in ascending order: a stable distribution of the ascending `all`
  // by piece, linear where sorting each piece was not.
  void sortPieces(const std::int32_t* all, std::size_t count) {
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      for (std::size_t i = pieces[k].begin; i < pieces[k].end; ++i) {
        pieceOf[queue[i]] = static_cast<std::int32_t>(k);
      }
    }
    cursor.resize(pieces.size());
    for (std::size_t k = 0; k < pieces.size(); ++k) cursor[k] = pieces[k].begin;
    for (std::size_t i = 0; i < count; ++i) queue[cursor[pieceOf[all[i]]]++] = all[i];
  }

  // Hands `piece` of region c to the neighbouring region whose cost rises least by taking it in.
  // A piece with no neighbouring region is a whole part of the mask on its own (without a mask,
  // only the whole image is such a piece, and it is always kept): it becomes a region of its own.
  void handOver(std::int32_t c, const Piece& piece) {
    const RegionStats s = statsOf(queue.data() + piece.begin, queue.data() + piece.end);
    if (piece.neighboursBegin == piece.neighboursEnd) {
      makeRegion(piece, s);
      return;
    }
    const double w = state.balanceWeight;
    std::int32_t target = near[piece.neighboursBegin];
    double best = noReceiverYet;
    for (std::size_t k = piece.neighboursBegin; k < piece.neighboursEnd; ++k) {
      const std::int32_t u = near[k];
      const RegionStats& other = statsOfRegion(u);
      RegionStats joint = s;
      joint.absorb(other);
      const double delta = (joint.cost(w) - s.cost(w)) - other.cost(w);
      if (delta < best) {
        target = u;
        best = delta;
      }
    }
    for (std::size_t i = piece.begin; i < piece.end; ++i) {
      state.labelMap.labels[queue[i]] = target;
    }
    if (target > c) {
      received[target].insert(received[target].end(), queue.begin() + piece.begin,
                              queue.begin() + piece.end);
    }
    state.regionStats[target].absorb(s);
  }

  // A new region of `piece`, whose model is `s`, in a slot after every other: it comes last in
  // the numbering, and its display colour is the palette's next. No later turn of the pass meets
  // it: no other region's pixel lies next to it.
  void makeRegion(const Piece& piece, const RegionStats& s) {
    LabelMap& map = state.labelMap;
    const std::int32_t slot = map.slotCount++;
    for (std::size_t i = piece.begin; i < piece.end; ++i) map.labels[queue[i]] = slot;
    state.regionStats.push_back(s);
    const Colour colour = displayColours(map.slotCount).back();
    map.red.push_back(colour.red);
    map.green.push_back(colour.green);
    map.blue.push_back(colour.blue);
  }
};

// Gathers the pixel set of every slot, ascending, into pass.order (slot s at pass.start[s] ..
// pass.start[s + 1]): merging and refinement keep labels only. By counting sort, in parts of rows
// side by side: each part counts its labels, then places its pixels from where the parts before it
// end, so every slice stays ascending.
void gatherPixelSets(Pass& pass) {
  SegmentationState& state = pass.state;
  const std::vector<std::int32_t>& labels = state.labelMap.labels;
  const std::int32_t slots = state.labelMap.slotCount;
  const std::int64_t pixels = static_cast<std::int64_t>(labels.size());
  const std::int64_t parts =
      state.executor == nullptr || state.threads <= 1 ? 1 : std::min<std::int64_t>(16, pass.height);
  const std::int64_t rowsPerPart = (pass.height + parts - 1) / parts;
  const auto partRange = [&](std::int64_t part) {
    return std::pair{std::min(pixels, part * rowsPerPart * pass.width),
                     std::min(pixels, (part + 1) * rowsPerPart * pass.width)};
  };
  const bool masked = state.image->hasMask();
  std::vector<std::vector<std::int32_t>> next(parts);
  forEachPart(state, parts, [&](std::int64_t part) {
    std::vector<std::int32_t> counts(slots + 1, 0);
    const auto [begin, end] = partRange(part);
    for (std::int64_t p = begin; p < end; ++p) {
      if (!masked || labels[p] != noRegion) ++counts[labels[p] + 1];
    }
    next[part] = std::move(counts);
  });
  pass.start.assign(slots + 1, 0);
  for (std::int32_t s = 0; s < slots; ++s) {
    std::int32_t at = pass.start[s];
    for (std::vector<std::int32_t>& counts : next) {
      const std::int32_t count = counts[s + 1];
      counts[s] = at;  // the part's first place for slot s
      at += count;
    }
    pass.start[s + 1] = at;
  }
  pass.order.resize(pass.start[slots]);
  forEachPart(state, parts, [&](std::int64_t part) {
    std::vector<std::int32_t>& place = next[part];
    const auto [begin, end] = partRange(part);
    for (std::int64_t p = begin; p < end; ++p) {
      if (masked && labels[p] == noRegion) continue;
      pass.order[place[labels[p]]++] = static_cast<std::int32_t>(p);
    }
  });
}

// Region c's turn: its pieces are found (with the pixels earlier turns handed to it), the largest
// is kept unless it borders too few regions, and every other piece is handed over.
void settleRegion(Pass& pass, std::int32_t c, std::int32_t connectivity) {
  SegmentationState& state = pass.state;
  const std::int32_t* all = pass.order.data() + pass.start[c];
  std::size_t count = static_cast<std::size_t>(pass.start[c + 1] - pass.start[c]);
  std::vector<std::int32_t>& extra = pass.received[c];
  if (!extra.empty()) {
    std::sort(extra.begin(), extra.end());
    pass.pixels.resize(count + extra.size());
    std::merge(all, all + count, extra.begin(), extra.end(), pass.pixels.begin());
    all = pass.pixels.data();
    count = pass.pixels.size();
  }
  const bool masked = state.image->hasMask();
  if (connectivity == 4) {
    masked ? pass.findPieces<true, true>(c, all, count)
           : pass.findPieces<false, true>(c, all, count);
  } else {
    masked ? pass.findPieces<true, false>(c, all, count)
           : pass.findPieces<false, false>(c, all, count);
  }

  std::size_t kept = 0;
  for (std::size_t i = 1; i < pass.pieces.size(); ++i) {
    if (pass.pieces[i].size() > pass.pieces[kept].size()) kept = i;
  }
  const Piece& keptPiece = pass.pieces[kept];
  const std::size_t keptNeighbours = keptPiece.neighboursEnd - keptPiece.neighboursBegin;
  const bool wholeImage = keptNeighbours == 0;
  const bool dissolve = !wholeImage && keptNeighbours < minNeighbourRegions;
  if (dissolve) {
    state.regionStats[c] = RegionStats{};
    ++state.trace.dissolvedRegions;
  } else if (pass.pieces.size() == 1 && extra.empty()) {
    // Kept whole: its model is rebuilt from its slice of `order` if anything reads it.
    pass.stale[c] = Pass::wholeSlice;
    if (wholeImage) ++state.trace.keptWholeImageRegions;
  } else if (extra.empty()) {
    // Its model is rebuilt when read, or at the end side by side with the others.
    pass.stale[c] = Pass::keptPiece;
    if (wholeImage) ++state.trace.keptWholeImageRegions;
  } else {
    // Its kept piece holds pixels from outside its slice: rebuilt now.
    state.regionStats[c] =
        pass.statsOf(pass.queue.data() + keptPiece.begin, pass.queue.data() + keptPiece.end);
    if (wholeImage) ++state.trace.keptWholeImageRegions;
  }
  for (std::size_t i = 0; i < pass.pieces.size(); ++i) {
    if (dissolve || i != kept) pass.handOver(c, pass.pieces[i]);
  }
  extra.clear();
  extra.shrink_to_fit();
}

// The models of kept pieces that no hand-over read, rebuilt side by side from the same pixels in
// the same order as a rebuild on reading would have used.
void rebuildUnreadModels(Pass& pass, const std::vector<std::int32_t>& regions) {
  std::vector<std::int32_t> unread;
  for (const std::int32_t c : regions) {
    if (pass.stale[c] == Pass::keptPiece) unread.push_back(c);
  }
  constexpr std::size_t regionsPerPart = 8;
  forEachPart(
      pass.state, (unread.size() + regionsPerPart - 1) / regionsPerPart, [&](std::int64_t part) {
        const std::size_t first = static_cast<std::size_t>(part) * regionsPerPart;
        for (std::size_t i = first; i < std::min(unread.size(), first + regionsPerPart); ++i) {
          pass.state.regionStats[unread[i]] = pass.statsOfKeptPiece(unread[i]);
        }
      });
}

}  // namespace

void enforceConnectivity(SegmentationState& state, std::int32_t connectivity) {
  Pass pass(state);
  gatherPixelSets(pass);
  const std::int32_t slots = state.labelMap.slotCount;
  pass.received.resize(slots);
  pass.stale.assign(slots, 0);
  pass.reached.assign(state.labelMap.labels.size(), 0);
  pass.pieceOf.resize(state.labelMap.labels.size());
  // Regions take their turns in the order of the list; pieces made into regions of their own on
  // the way are not in it.
  const std::vector<std::int32_t> regions = state.activeRegions;
  for (const std::int32_t c : regions) settleRegion(pass, c, connectivity);
  rebuildUnreadModels(pass, regions);
  listActiveRegions(state);
  state.trace.finalRegionCount = state.regionCount;
  state.trace.activeRegions = state.activeRegions;
}

}  // namespace superpixels
