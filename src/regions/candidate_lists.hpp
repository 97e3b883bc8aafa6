#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "regions/merge_heap.hpp"

namespace superpixels {

// A candidate as its region's list holds it: with the other region beside the handle, so that a
// merge finds the neighbours and withdraws the candidates of its two regions without visiting
// the candidates.
struct ListedCandidate {
  std::int32_t other;
  CandidateId id;
};

// Per region slot, the live candidates that name the region, in the order they were listed. All
// lists share one array: a list that outgrows its room moves to the end of the array with twice
// the room (its old room stays unused), so listing a candidate never allocates per list and the
// lists of neighbouring blocks stay close together. A list read through operator[] stays valid
// until the next push.
class CandidateLists {
 public:
  // `slots` empty lists with room for `room` candidates each.
  void reset(std::int32_t slots, std::int32_t room) {
    lists_.assign(slots, List{});
    items_.assign(static_cast<std::size_t>(slots) * room, ListedCandidate{});
    for (std::int32_t s = 0; s < slots; ++s) {
      lists_[s] = {static_cast<std::size_t>(s) * room, 0, room};
    }
  }

  std::span<const ListedCandidate> operator[](std::int32_t slot) const {
    const List& list = lists_[slot];
    return {items_.data() + list.begin, static_cast<std::size_t>(list.size)};
  }

  // Fetch ahead: the slot's list header, then (once the header is in) the list's first entries.
  void prefetchHeader(std::int32_t slot) const { __builtin_prefetch(&lists_[slot]); }
  void prefetchEntries(std::int32_t slot) const {
    __builtin_prefetch(items_.data() + lists_[slot].begin);
  }

  // Lists c, whose other region is `other`, under the slot.
  void push(std::int32_t slot, std::int32_t other, CandidateId c) {
    List& list = lists_[slot];
    if (list.size == list.room) {
      const std::size_t moved = items_.size();
      const std::int32_t room = list.room < 2 ? 4 : 2 * list.room;
      items_.resize(moved + room);
      for (std::int32_t i = 0; i < list.size; ++i) items_[moved + i] = items_[list.begin + i];
      list.begin = moved;
      list.room = room;
    }
    items_[list.begin + list.size++] = {other, c};
  }

  // Takes c out of the slot's list, keeping the order of the others; c must be listed.
  void erase(std::int32_t slot, CandidateId c) {
    List& list = lists_[slot];
    ListedCandidate* first = items_.data() + list.begin;
    std::int32_t i = 0;
    while (first[i].id != c) ++i;
    for (--list.size; i < list.size; ++i) first[i] = first[i + 1];
  }

  void clear(std::int32_t slot) { lists_[slot].size = 0; }

 private:
  struct List {
    std::size_t begin = 0;
    std::int32_t size = 0;
    std::int32_t room = 0;
  };
  std::vector<List> lists_;
  std::vector<ListedCandidate> items_;
};

}  // namespace superpixels
