// The position-tracking max-heap of merge candidates: order, tracked positions and ties.

#include <algorithm>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "regions/merge_heap.hpp"

namespace superpixels::testing {
namespace {

// Every heap slot knows its position, and no child's key exceeds its parent's.
void expectHeapInvariants(const MergeHeap& heap) {
  for (std::int32_t i = 0; i < heap.heapSize(); ++i) {
    ASSERT_EQ(heap[heap.itemAt(i)].heapIndex, i) << "candidate " << heap.itemAt(i);
    if (i > 0) {
      ASSERT_GE(heap.keyAt((i - 1) / 2), heap.keyAt(i)) << "position " << i;
    }
  }
}

std::vector<CandidateId> insertAll(MergeHeap& heap, const std::vector<double>& keys) {
  std::vector<CandidateId> ids;
  for (const double key : keys) {
    ids.push_back(heap.create(0, static_cast<std::int32_t>(ids.size())));
    heap.insert(ids.back(), key);
  }
  return ids;
}

std::vector<CandidateId> popAll(MergeHeap& heap) {
  std::vector<CandidateId> order;
  CandidateId c;
  while (heap.popMax(c)) {
    EXPECT_EQ(heap[c].heapIndex, notInHeap);
    order.push_back(c);
  }
  return order;
}

TEST(MergeHeap, EmptyHeapPopsNothing) {
  MergeHeap heap;
  CandidateId c = 123;
  EXPECT_FALSE(heap.popMax(c));
  insertAll(heap, {1.0});
  EXPECT_TRUE(heap.popMax(c));
  EXPECT_FALSE(heap.popMax(c));
  EXPECT_EQ(heap.heapSize(), 0);
}

// Keys 3 1 4 1 5 9 2 6 5 in this order. Among equal keys the pop order follows from the strict
// comparisons, not from insertion order: the second 5 pops before the first, the first 1 before
// the second. Merging reproduces other runs only if these ties fall the same way.
TEST(MergeHeap, PopOrderOfKnownSequence) {
  MergeHeap heap;
  insertAll(heap, {3, 1, 4, 1, 5, 9, 2, 6, 5});
  expectHeapInvariants(heap);
  EXPECT_EQ(popAll(heap), (std::vector<CandidateId>{5, 7, 8, 4, 2, 0, 6, 1, 3}));
}

TEST(MergeHeap, EqualKeysNeverPassEachOther) {
  MergeHeap heap;
  const std::vector<CandidateId> ids = insertAll(heap, {-0.5, -0.5, -0.5});
  EXPECT_EQ(heap.itemAt(0), ids[0]);
  EXPECT_EQ(heap.itemAt(1), ids[1]);
  EXPECT_EQ(heap.itemAt(2), ids[2]);
  // The last element moved to the root after a pop stays above its equal children.
  CandidateId c;
  ASSERT_TRUE(heap.popMax(c));
  EXPECT_EQ(c, ids[0]);
  EXPECT_EQ(heap.itemAt(0), ids[2]);
  EXPECT_EQ(heap.itemAt(1), ids[1]);
}

TEST(MergeHeap, RemoveAnywhere) {
  MergeHeap heap;
  const std::vector<CandidateId> ids = insertAll(heap, {8, 7, 6, 5, 4});
  // The last element: only the size changes.
  heap.remove(ids[4]);
  EXPECT_EQ(heap.heapSize(), 4);
  EXPECT_EQ(heap[ids[4]].heapIndex, notInHeap);
  for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(heap.itemAt(i), ids[i]);
  // Removing a candidate that is out already changes nothing.
  heap.remove(ids[4]);
  EXPECT_EQ(heap.heapSize(), 4);
  // The root.
  heap.remove(ids[0]);
  expectHeapInvariants(heap);
  EXPECT_EQ(heap.itemAt(0), ids[1]);
  EXPECT_EQ(popAll(heap), (std::vector<CandidateId>{ids[1], ids[2], ids[3]}));
}

// Random inserts, pops, removals and re-insertions with a new key, with keys from a small set so
// that ties are frequent. After every operation: heap order, tracked positions, and the same
// contents as a plain multiset; popMax returns a largest key.
TEST(MergeHeap, RandomOperationsKeepInvariants) {
  std::mt19937 generator(2024);
  MergeHeap heap;
  std::vector<CandidateId> all;
  std::multimap<double, CandidateId> inHeap;
  const auto randomKey = [&] { return static_cast<double>(generator() % 9) - 4.0; };
  for (int step = 0; step < 4000; ++step) {
    const unsigned op = generator() % 10;
    if (op < 4 || all.empty()) {
      const CandidateId c = heap.create(0, 0);
      if (std::find(all.begin(), all.end(), c) == all.end()) all.push_back(c);
      const double key = randomKey();
      heap.insert(c, key);
      inHeap.emplace(key, c);
    } else if (op < 6) {
      CandidateId c;
      const double top = heap.heapSize() > 0 ? heap.keyAt(0) : 0.0;
      const bool popped = heap.popMax(c);
      ASSERT_EQ(popped, !inHeap.empty());
      if (popped) {
        ASSERT_EQ(top, inHeap.rbegin()->first) << "step " << step;
        const auto range = inHeap.equal_range(top);
        inHeap.erase(std::find_if(range.first, range.second,
                                  [&](const auto& entry) { return entry.second == c; }));
        heap.destroy(c);
      }
    } else {
      const CandidateId c = all[generator() % all.size()];
      const auto entry =
          std::find_if(inHeap.begin(), inHeap.end(), [&](const auto& e) { return e.second == c; });
      if (op < 8) {
        heap.remove(c);  // also exercised on candidates that are out of the heap
        if (entry != inHeap.end()) inHeap.erase(entry);
      } else if (entry != inHeap.end()) {
        // A new key for a heaped candidate: withdrawn and heaped again.
        inHeap.erase(entry);
        heap.remove(c);
        const double key = randomKey();
        heap.insert(c, key);
        inHeap.emplace(key, c);
      }
    }
    ASSERT_NO_FATAL_FAILURE(expectHeapInvariants(heap)) << "after step " << step;
    ASSERT_EQ(heap.heapSize(), static_cast<std::int32_t>(inHeap.size())) << "step " << step;
    for (const auto& [key, c] : inHeap) {
      ASSERT_NE(heap[c].heapIndex, notInHeap) << "step " << step;
      ASSERT_EQ(heap.key(c), key) << "step " << step;
    }
  }
}

}  // namespace
}  // namespace superpixels::testing
