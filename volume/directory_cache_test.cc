#include "volume/directory_cache.h"

#include <memory>

#include "gtest/gtest.h"

namespace {

std::unique_ptr<LoadedChain> Chain(size_t bytes) {
  auto chain = std::make_unique<LoadedChain>();
  chain->bytes.assign(bytes, 0);
  chain->bytes.shrink_to_fit();
  return chain;
}

TEST(DirectoryCacheTest, KeepsWithinItsBoundLeastRecentlyUsedLeavingFirst) {
  DirectoryCache cache(1000);
  cache.Keep(1, Chain(400));
  cache.Keep(2, Chain(400));
  EXPECT_NE(nullptr, cache.Find(1));  // 2 is now the least recently used
  cache.Keep(3, Chain(400));
  EXPECT_EQ(nullptr, cache.Find(2));
  EXPECT_NE(nullptr, cache.Find(1));
  EXPECT_EQ(800u, cache.ChargedBytes());

  // A chain someone holds still counts after it leaves the cache, and until it is let go.
  std::shared_ptr<const LoadedChain> held = cache.Find(3);
  cache.Charge(*held, 100);  // its index
  cache.Keep(4, Chain(400));
  EXPECT_EQ(nullptr, cache.Find(1));
  cache.Keep(6, Chain(400));
  EXPECT_EQ(1u, cache.Count());  // 6 only: 3 left first, but is still held, so 4 left too
  EXPECT_EQ(900u, cache.ChargedBytes());
  held.reset();
  EXPECT_EQ(400u, cache.ChargedBytes());

  // One that alone exceeds the bound is handed back but not kept or indexed.
  std::shared_ptr<const LoadedChain> big = cache.Keep(5, Chain(1001));
  EXPECT_FALSE(big->cached);
  EXPECT_EQ(nullptr, cache.Find(5));
  EXPECT_EQ(400u, cache.ChargedBytes());

  cache.Clear();
  EXPECT_EQ(nullptr, cache.Find(4));
  EXPECT_EQ(0u, cache.ChargedBytes());
}

}  // namespace
