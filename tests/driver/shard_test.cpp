// Parts of a dataset: "I/N" parsed strictly, and a stable hash that puts every image in exactly
// one part.

#include <gtest/gtest.h>

#include "driver/shard.hpp"

namespace superpixels::testing {
namespace {

TEST(Shard, ParsesOnlyIndexSlashCountWithIndexBelowCount) {
  const std::optional<Shard> shard = parseShard("3/8");
  ASSERT_TRUE(shard);
  EXPECT_EQ(shard->index, 3u);
  EXPECT_EQ(shard->count, 8u);
  for (const std::string bad : {"", "3", "8/8", "9/8", "0/0", "-1/4", "1/-4", " 1/4", "1/4x",
                                "1 /4", "a/4", "1/", "/4", "0/1000001", "1/2/3"}) {
    EXPECT_FALSE(parseShard(bad)) << bad;
  }
}

TEST(Shard, HashIsFnv1aAndEveryPathFallsInExactlyOneShard) {
  // Published FNV-1a 64-bit values: the hash must not depend on the platform or the build.
  EXPECT_EQ(stableHash(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(stableHash("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(stableHash("foobar"), 0x85944171f73967e8ull);

  constexpr std::uint32_t count = 7;
  std::vector<int> sizes(count, 0);
  for (int i = 0; i < 7000; ++i) {
    const std::string path = "/set" + std::to_string(i % 13) + "/img" + std::to_string(i) + ".jpg";
    int shards = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
      if (inShard(path, {index, count})) {
        ++shards;
        ++sizes[index];
      }
    }
    ASSERT_EQ(shards, 1) << path;
  }
  for (const int size : sizes) EXPECT_NEAR(size, 1000, 150);
}

}  // namespace
}  // namespace superpixels::testing
