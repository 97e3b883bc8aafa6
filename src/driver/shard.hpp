#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace superpixels {

// One of `count` disjoint parts of a dataset: the images whose result name (the path relative to
// the input folder without its suffix) hashes to `index`. The part depends only on that name
// (bytes, "/" separators), never on the listing order, the machine or the other images, so N runs
// with --shard 0/N .. N-1/N on any machines together segment every image exactly once, and images
// that share their result files ("a.png", "a.jpg") are always in the same run.
struct Shard {
  std::uint32_t index = 0;
  std::uint32_t count = 1;
};

// Most shards a dataset can be split into.
inline constexpr std::uint32_t maxShardCount = 1000000;

// "I/N" with 0 <= I < N <= maxShardCount, plain digits; nothing when the text is anything else.
std::optional<Shard> parseShard(const std::string& text);

// 64-bit FNV-1a of the bytes: stable across machines, compilers and runs.
std::uint64_t stableHash(std::string_view bytes);

// True when the image whose results are named `relativeBase` belongs to `shard`.
bool inShard(std::string_view relativeBase, const Shard& shard);

}  // namespace superpixels
