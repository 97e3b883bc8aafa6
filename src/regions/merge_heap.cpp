#include "regions/merge_heap.hpp"

#include <utility>

namespace superpixels {

CandidateId MergeHeap::create(std::int32_t regionA, std::int32_t regionB) {
  CandidateId c;
  if (freeIds_.empty()) {
    c = static_cast<CandidateId>(pool_.size());
    pool_.emplace_back();
  } else {
    c = freeIds_.back();
    freeIds_.pop_back();
  }
  pool_[c] = MergeCandidate{0.0, notInHeap, regionA, regionB};
  return c;
}

void MergeHeap::destroy(CandidateId c) { freeIds_.push_back(c); }

void MergeHeap::siftUp(std::int32_t i) {
  const CandidateId c = heapItems_[i];
  const double key = pool_[c].key;
  while (i > 0) {
    const std::int32_t parent = (i - 1) / 2;
    if (!(key > pool_[heapItems_[parent]].key)) break;
    place(i, heapItems_[parent]);
    i = parent;
  }
  place(i, c);
}

void MergeHeap::siftDown(std::int32_t i) {
  const CandidateId c = heapItems_[i];
  const double key = pool_[c].key;
  const std::int32_t size = heapSize();
  for (;;) {
    const std::int32_t left = 2 * i + 1;
    const std::int32_t right = left + 1;
    if (left >= size) break;
    std::int32_t larger = left;
    if (right < size && pool_[heapItems_[right]].key > pool_[heapItems_[left]].key) larger = right;
    if (!(pool_[heapItems_[larger]].key > key)) break;
    place(i, heapItems_[larger]);
    i = larger;
  }
  place(i, c);
}

void MergeHeap::insert(CandidateId c, double key) {
  pool_[c].key = key;
  heapItems_.push_back(c);
  pool_[c].heapIndex = heapSize() - 1;
  siftUp(heapSize() - 1);
}

bool MergeHeap::popMax(CandidateId& out) {
  if (heapSize() < 1) return false;
  const std::int32_t last = heapSize() - 1;
  const CandidateId root = heapItems_[0];
  place(0, heapItems_[last]);
  place(last, root);
  heapItems_.pop_back();
  if (heapSize() > 1) siftDown(0);
  pool_[root].heapIndex = notInHeap;
  out = root;
  return true;
}

void MergeHeap::remove(CandidateId c) {
  const std::int32_t i = pool_[c].heapIndex;
  if (i == notInHeap) return;
  const std::int32_t last = heapSize() - 1;
  place(i, heapItems_[last]);
  place(last, c);
  heapItems_.pop_back();
  pool_[c].heapIndex = notInHeap;
  if (i != last) {
    if (pool_[c].key > pool_[heapItems_[i]].key) {
      siftDown(i);
    } else {
      siftUp(i);
    }
  }
}

void MergeHeap::reposition(CandidateId c) {
  const std::int32_t i = pool_[c].heapIndex;
  if (i > 0 && pool_[c].key > pool_[heapItems_[(i - 1) / 2]].key) {
    siftUp(i);
  } else {
    siftDown(i);
  }
}

}  // namespace superpixels
