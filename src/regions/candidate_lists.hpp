#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "regions/merge_heap.hpp"

namespace superpixels {

// Per region slot, what merging reads of the region besides its model: its cost and the live
// candidates that name it, in the order they were listed. Each slot has a cache line of its own
// that holds the cost, the list's size and, while they fit, its entries: a merge reads the lists
// of both regions and erases a candidate from the list of every region next to them, scattered
// over the lists of 10^4-10^5 regions, and each of these visits costs one cache miss where a
// header apart from the entries cost two; keying the union's candidate with region x then finds
// x's cost in the line its listing just visited. A list that outgrows its line moves to a shared
// overflow array, and on there to the array's end with twice the room whenever it fills up (its
// old room stays unused), so listing a candidate never allocates per list. A list read through
// operator[] stays valid until the next push.
class CandidateLists {
 public:
  // `slots` empty lists.
  void reset(std::int32_t slots) {
    lines_.assign(slots, Line{});
    overflow_.clear();
  }

  // The cost of the region's model.
  double cost(std::int32_t slot) const { return lines_[slot].cost; }
  void setCost(std::int32_t slot, double cost) { lines_[slot].cost = cost; }

  std::span<const CandidateId> operator[](std::int32_t slot) const {
    const Line& line = lines_[slot];
    return {entries(line), static_cast<std::size_t>(line.size)};
  }

  // Fetch ahead: the slot's line, then (once it is in) the entries of a list that left it.
  void prefetchHeader(std::int32_t slot) const { __builtin_prefetch(&lines_[slot]); }
  void prefetchEntries(std::int32_t slot) const {
    const Line& line = lines_[slot];
    if (line.moved >= 0) __builtin_prefetch(overflow_.data() + line.moved);
  }

  void push(std::int32_t slot, CandidateId c) {
    Line& line = lines_[slot];
    const std::int32_t room = line.moved < 0 ? inLine : line.room;
    if (line.size == room) {
      const std::int64_t moved = static_cast<std::int64_t>(overflow_.size());
      overflow_.resize(overflow_.size() + 2 * room);
      // By index: the resize may have moved the overflow array, the list too if it is there.
      const CandidateId* from = line.moved < 0 ? line.listed : overflow_.data() + line.moved;
      std::copy(from, from + line.size, overflow_.data() + moved);
      line.moved = moved;
      line.room = 2 * room;
    }
    entries(line)[line.size++] = c;
  }

  // Takes c out of the slot's list, keeping the order of the others; c must be listed.
  void erase(std::int32_t slot, CandidateId c) {
    Line& line = lines_[slot];
    CandidateId* first = entries(line);
    std::int32_t i = 0;
    while (first[i] != c) ++i;
    for (--line.size; i < line.size; ++i) first[i] = first[i + 1];
  }

  // Empties the list; it is back in its line.
  void clear(std::int32_t slot) {
    lines_[slot].size = 0;
    lines_[slot].moved = -1;
  }

 private:
  static constexpr std::int32_t inLine = 10;
  struct alignas(64) Line {
    double cost = 0.0;
    std::int64_t moved = -1;  // where in overflow_ the list is, once it left the line
    std::int32_t room = 0;    // its room there
    std::int32_t size = 0;
    CandidateId listed[inLine] = {};
  };
  CandidateId* entries(Line& line) {
    return line.moved < 0 ? line.listed : overflow_.data() + line.moved;
  }
  const CandidateId* entries(const Line& line) const {
    return line.moved < 0 ? line.listed : overflow_.data() + line.moved;
  }

  std::vector<Line> lines_;
  std::vector<CandidateId> overflow_;
};

}  // namespace superpixels
