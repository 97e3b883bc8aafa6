// adjacency of the public describe header.

#include <algorithm>
#include <stdexcept>

#include "describe/label_index.hpp"
#include "superpixels/describe.hpp"

namespace superpixels {

namespace {

// Per superpixel (by index), its larger neighbours and the edges shared with each: a superpixel
// has a handful, so a short list searched from its end beats any map.
struct Neighbour {
  std::int32_t index;
  std::int64_t edges;
};

void count(std::vector<std::vector<Neighbour>>& larger, std::int32_t a, std::int32_t b) {
  if (a == b || a < 0 || b < 0) return;
  if (a > b) std::swap(a, b);
  std::vector<Neighbour>& list = larger[a];
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (it->index == b) {
      ++it->edges;
      return;
    }
  }
  list.push_back({b, 1});
}

}  // namespace

std::vector<AdjacentPair> adjacency(const std::vector<std::int32_t>& labels, std::int32_t width,
                                    std::int32_t height) {
  requireLabelMapSize(labels, width, height);
  const LabelIndex index(labels);
  const std::int32_t* at = index.indices();
  std::vector<std::vector<Neighbour>> larger(index.count());
  for (std::int32_t y = 0; y < height; ++y) {
    const std::int32_t* row = at + static_cast<std::size_t>(y) * width;
    const std::int32_t* below = y + 1 < height ? row + width : nullptr;
    for (std::int32_t x = 0; x < width; ++x) {
      if (x + 1 < width && row[x] != row[x + 1]) count(larger, row[x], row[x + 1]);
      if (below != nullptr && row[x] != below[x]) count(larger, row[x], below[x]);
    }
  }
  std::vector<AdjacentPair> pairs;
  for (std::int32_t a = 0; a < index.count(); ++a) {
    std::vector<Neighbour>& list = larger[a];
    std::sort(list.begin(), list.end(),
              [](const Neighbour& p, const Neighbour& q) { return p.index < q.index; });
    // Indices ascend with labels: the pairs come out sorted by label_a, then label_b.
    for (const Neighbour& n : list)
      pairs.push_back({index.label(a), index.label(n.index), n.edges});
  }
  return pairs;
}

}  // namespace superpixels
