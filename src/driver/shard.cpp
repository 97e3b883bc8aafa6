#include "shard.hpp"

namespace superpixels {

namespace {

// Plain digits only, at most `largest`; nothing otherwise.
std::optional<std::uint32_t> parseDigits(std::string_view text, std::uint32_t largest) {
  if (text.empty() || text.size() > 7) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value > largest) return std::nullopt;
  return value;
}

}  // namespace

std::optional<Shard> parseShard(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::optional<std::uint32_t> index =
      parseDigits(std::string_view(text).substr(0, slash), maxShardCount);
  const std::optional<std::uint32_t> count =
      parseDigits(std::string_view(text).substr(slash + 1), maxShardCount);
  if (!index || !count || *count == 0 || *index >= *count) return std::nullopt;
  return Shard{*index, *count};
}

std::uint64_t stableHash(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

bool inShard(std::string_view relativeBase, const Shard& shard) {
  return stableHash(relativeBase) % shard.count == shard.index;
}

}  // namespace superpixels
