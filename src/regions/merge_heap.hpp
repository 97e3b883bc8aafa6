#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace superpixels {

// Marks a candidate that is not in the heap: a value that is no position in it.
constexpr std::int32_t notInHeap = -1;

// A pair of adjacent regions that may be merged; `regionA` survives the merge. Its key lives in
// the heap slot alone: 16 bytes per candidate, where a copy of the key beside the rest made 24
// (16, not 12: four to a cache line, none straddling two).
struct alignas(16) MergeCandidate {
  std::int32_t heapIndex = notInHeap;
  std::int32_t regionA = 0;
  std::int32_t regionB = 0;
};

// Allocates on cache-line boundaries.
template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  static constexpr std::align_val_t line{64};
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), line)); }
  void deallocate(T* p, std::size_t) { ::operator delete(p, line); }
  template <typename U>
  bool operator==(const CacheLineAllocator<U>&) const {
    return true;
  }
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
    pool_.reserve(static_cast<std::size_t>(candidates));
    slots_.reserve(static_cast<std::size_t>(candidates) + 1);
  }
  // A candidate for the pair, not in the heap.
  CandidateId create(std::int32_t regionA, std::int32_t regionB);
  void destroy(CandidateId c);
  const MergeCandidate& operator[](CandidateId c) const { return pool_[c]; }
  // The key of c, which must be in the heap.
  double key(CandidateId c) const { return slot(pool_[c].heapIndex).key; }

  // Adds c, which must not be in the heap, with the given key.
  void insert(CandidateId c, double key);
  // Takes out the candidate with the largest key; false when the heap is empty.
  bool popMax(CandidateId& out);
  // Takes c out wherever it is; nothing when c is not in the heap.
  void remove(CandidateId c);

  // Fetches c's pool entry ahead.
  void prefetchCandidate(CandidateId c) const { __builtin_prefetch(&pool_[c]); }

  std::int32_t heapSize() const { return static_cast<std::int32_t>(slots_.size()) - 1; }
  CandidateId itemAt(std::int32_t position) const { return slot(position).id; }
  double keyAt(std::int32_t position) const { return slot(position).key; }

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
  void place(std::int32_t i, const Item& item) {
    slot(i) = item;
    pool_[item.id].heapIndex = i;
  }
  // Heap position i lives in slots_[i + 1] of a cache-line aligned array: the children of a
  // position, which every step down compares, then share a cache line. Where the array happened
  // to start decided it before: first-level read misses of the sifts at count 1000 were 1.37 M
  // or 1.99 M on one photo as the allocator placed the array.
  Item& slot(std::int32_t i) { return slots_[static_cast<std::size_t>(i) + 1]; }
  const Item& slot(std::int32_t i) const { return slots_[static_cast<std::size_t>(i) + 1]; }

  std::vector<MergeCandidate> pool_;
  std::vector<CandidateId> freeIds_;
  std::vector<Item, CacheLineAllocator<Item>> slots_ =
      std::vector<Item, CacheLineAllocator<Item>>(1);
};

}  // namespace superpixels
