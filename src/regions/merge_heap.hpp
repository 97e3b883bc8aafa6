#pragma once

#include <cstdint>
#include <vector>

namespace superpixels {

// Marks a candidate that is not in the heap: a value that is no position in it.
constexpr std::int32_t notInHeap = -1;

// A pair of adjacent regions that may be merged; `regionA` survives the merge.
struct MergeCandidate {
  std::int32_t regionA = 0;
  std::int32_t regionB = 0;
};

// Handle of a candidate in its heap's pool.
using CandidateId = std::int32_t;

// Binary max-heap of merge candidates keyed by cost saving (the larger, the less the merge
// costs), that tracks every element's position, so that any candidate can be withdrawn in
// logarithmic time. It also owns the candidates: `create` and `destroy` manage a pool whose freed
// handles are reused.
//
// Every key comparison is a strict greater-than, so among equal keys the element that reached its
// place first stays above: pop order among ties depends on the exact sequence of operations.
class MergeHeap {
 public:
  // Room for `candidates` candidates in the pool and the heap, so that seeding does not grow them
  // step by step.
  void reserve(std::int32_t candidates) {
    pairs_.reserve(static_cast<std::size_t>(candidates));
    positions_.reserve(static_cast<std::size_t>(candidates));
    heapItems_.reserve(static_cast<std::size_t>(candidates));
  }
  // A candidate for the pair, not in the heap.
  CandidateId create(std::int32_t regionA, std::int32_t regionB);
  void destroy(CandidateId c);
  const MergeCandidate& operator[](CandidateId c) const { return pairs_[c]; }
  // Where c is in the heap, or notInHeap.
  std::int32_t position(CandidateId c) const { return positions_[c]; }
  // The key of c, which must be in the heap.
  double key(CandidateId c) const { return heapItems_[positions_[c]].key; }

  // Adds c, which must not be in the heap, with the given key.
  void insert(CandidateId c, double key);
  // Takes out the candidate with the largest key; false when the heap is empty.
  bool popMax(CandidateId& out);
  // Takes c out wherever it is; nothing when c is not in the heap.
  void remove(CandidateId c);

  // Fetch ahead: c's regions, and where c is in the heap.
  void prefetchCandidate(CandidateId c) const { __builtin_prefetch(&pairs_[c]); }
  void prefetchPosition(CandidateId c) const { __builtin_prefetch(&positions_[c]); }

  std::int32_t heapSize() const { return static_cast<std::int32_t>(heapItems_.size()); }
  CandidateId itemAt(std::int32_t position) const { return heapItems_[position].id; }
  double keyAt(std::int32_t position) const { return heapItems_[position].key; }

 private:
  // The tests' look into the pool (tests/support/engine.hpp): it counts the candidates alive.
  friend struct MergeHeapInternals;

  // A heap slot holds the candidate's key beside its handle: the sifts compare keys of
  // neighbouring slots without visiting the candidates, which cost a cache miss each in a heap
  // of 10^5 candidates (first-level read misses in merging at count 1000: 7.8 M -> 5.2 M).
  struct Item {
    double key;
    CandidateId id;
  };

  void siftUp(std::int32_t i);
  void siftDown(std::int32_t i);
  // Every move in a sift writes the moved candidate's position: the positions are a table of
  // their own, 4 bytes per candidate (16 to a cache line rather than 2.7 when they shared a
  // 24-byte record with the regions and the key), so that these scattered writes mostly stay in
  // the second-level cache.
  void place(std::int32_t i, const Item& item) {
    heapItems_[i] = item;
    positions_[item.id] = i;
  }

  std::vector<MergeCandidate> pairs_;
  std::vector<std::int32_t> positions_;
  std::vector<CandidateId> freeIds_;
  std::vector<Item> heapItems_;
};

}  // namespace superpixels
