#pragma once

// The plain engine, kept as the oracle of the equivalence tests: the straightforward
// implementation the optimised engine started from (every region keeps its pixel set, neighbour
// sets are gathered from every pixel, borders are rebuilt over the whole image every pass, every
// gain is evaluated in full). It is compiled into the tests only. The fast engine must give the
// same labels and figures, bit for bit, on every input.
//
// Some arithmetic here repeats the production code on purpose: the pooling and unpooling of region
// statistics, the heap's key comparisons and tie-breaks and the balance weight must round exactly
// as the engine rounds them, or the two would part ways on ties and in the last bit. Keep these
// copies apart from the engine's (do not share or "deduplicate" them): the point of an oracle is that
// a change to the engine cannot change it too.

#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "image/image_data.hpp"
#include "regions/trace.hpp"
#include "superpixels/superpixels.hpp"

namespace superpixels::reference {

// The 8-neighbours of pixel p in the fixed order (x-1,y-1), (x-1,y), (x-1,y+1), (x,y-1), (x,y+1),
// (x+1,y-1), (x+1,y), (x+1,y+1), positions outside the image left out.
struct Neighbours {
  std::int32_t size = 0;
  std::int32_t items[8];
  const std::int32_t* begin() const { return items; }
  const std::int32_t* end() const { return items + size; }
};

inline Neighbours neighboursOf(const ImageData& image, std::int32_t p) {
  Neighbours list;
  const std::int32_t x = p % image.width;
  const std::int32_t y = p / image.width;
  for (std::int32_t c = x - 1; c <= x + 1; ++c) {
    if (c < 0 || c >= image.width) continue;
    for (std::int32_t r = y - 1; r <= y + 1; ++r) {
      if (r < 0 || r >= image.height || (c == x && r == y)) continue;
      list.items[list.size++] = r * image.width + c;
    }
  }
  return list;
}

struct RegionStats {
  Eigen::Matrix2d positionScatter = Eigen::Matrix2d::Zero();
  Eigen::Matrix3d colourScatter = Eigen::Matrix3d::Zero();
  double count = 0.0;
  Eigen::Vector2d meanPosition = Eigen::Vector2d::Zero();
  Eigen::Vector3d meanColour = Eigen::Vector3d::Zero();

  void absorb(const RegionStats& other);
  void release(const RegionStats& other);
  double cost(double balanceWeight) const;
  double colourCost() const;
};

RegionStats makePixel(double x, double y, double L, double a, double b);

constexpr std::int32_t notInHeap = -47;

struct MergeCandidate {
  double key = 0.0;
  std::int32_t heapIndex = notInHeap;
  std::int32_t regionA = 0;
  std::int32_t regionB = 0;
};

using CandidateId = std::int32_t;

// Position-tracking binary max-heap that owns its candidates (a pool with reused handles).
class MergeHeap {
 public:
  CandidateId create(std::int32_t regionA, std::int32_t regionB);
  void destroy(CandidateId c) { freeIds_.push_back(c); }
  MergeCandidate& operator[](CandidateId c) { return pool_[c]; }
  void insert(CandidateId c, double key);
  bool popMax(CandidateId& out);
  void remove(CandidateId c);
  void reposition(CandidateId c);
  std::int32_t heapSize() const { return static_cast<std::int32_t>(heapItems_.size()); }

 private:
  void siftUp(std::int32_t i);
  void siftDown(std::int32_t i);
  void place(std::int32_t i, CandidateId c) {
    heapItems_[i] = c;
    pool_[c].heapIndex = i;
  }
  std::vector<MergeCandidate> pool_;
  std::vector<CandidateId> freeIds_;
  std::vector<CandidateId> heapItems_;
};

struct RegionPair {
  std::int32_t regionA = 0;
  std::int32_t regionB = 0;
};

struct PixelMove {
  double key = 0.0;
  std::int32_t regionA = 0;
  std::int32_t regionB = 0;
  std::int32_t pixel = 0;
};

struct SegmentationState {
  const ImageData* image = nullptr;
  std::int32_t blockWidth = 0;
  std::int32_t blockHeight = 0;
  std::int32_t gridColumns = 0;
  std::int32_t gridRows = 0;

  MergeHeap heap;
  std::vector<RegionStats> regionStats;
  std::vector<std::vector<CandidateId>> regionCandidates;

  std::vector<float> red, green, blue;
  std::vector<std::vector<std::int32_t>> regionPixels;  // per slot, ascending
  std::vector<std::int32_t> labels;
  std::int32_t slotCount = 0;

  std::vector<std::int32_t> activeRegions;
  std::int32_t regionCount = 0;

  float weightFactor = 0.0f;
  double balanceWeight = 0.17;
  std::vector<std::vector<RegionPair>> neighbourPairs;
  std::vector<std::vector<std::int32_t>> boundaryPixels;
  std::vector<double> activeCosts;
  std::vector<PixelMove> pendingMoves;
  bool hasPreviousEnergy = false;
  double previousEnergy = 0.0;

  Trace trace;

  RegionStats pixelStats(std::int32_t p) const {
    const std::uint8_t* lab = image->lab(p);
    return makePixel(p % image->width, p / image->width, lab[0], lab[1], lab[2]);
  }
};

// The stages, as the tool runs them.
void setUpSegmentation(SegmentationState& state, const ImageData& image,
                       std::int32_t superpixelCount, float weightFactor);
bool mergeToCount(SegmentationState& state, std::int32_t superpixelCount);
void prepareRefinement(SegmentationState& state);
bool refinePass(SegmentationState& state);
void refine(SegmentationState& state);
void enforceConnectivity(SegmentationState& state);

// Rebuilds activeRegions and regionCount from the non-empty pixel sets.
void listActiveRegions(SegmentationState& state);

// Labels renumbered by position in activeRegions (0 for slots not listed).
std::vector<std::int32_t> compactLabels(const SegmentationState& state);

// Display colours of the listed regions, in list order.
std::vector<Colour> activeColours(const SegmentationState& state);

}  // namespace superpixels::reference
