#include "volume/directory_cache.h"

#include <memory>

#include "gtest/gtest.h"

namespace {

std::unique_ptr<LoadedChain> Chain(size_t bytes) {
  auto chain = std::make_unique<LoadedChain>();
  chain->bytes.resize(bytes);
  chain->bytes.shrink_to_fit();
  return chain;
}

TEST(DirectoryCacheTest, KeepsWithinItsBoundLeastRecentlyUsedLeavingFirst) {
  DirectoryCache cache(1000);
  cache.Keep(1, Chain(400));
  cache.Keep(2, Chain(400));
  cache.Find(1);  // 2 is now the least recently used
  std::shared_ptr<const LoadedChain> held = cache.Keep(3, Chain(400));
  EXPECT_EQ(nullptr, cache.Find(2));
  cache.Charge(*held, 100);   // its index
  cache.Keep(4, Chain(400));  // 1 leaves
  EXPECT_EQ(nullptr, cache.Find(1));
  // 3 leaves before 4, but counts while it is held: 4 leaves too.
  cache.Keep(6, Chain(400));
  EXPECT_EQ(nullptr, cache.Find(4));
  EXPECT_EQ(900u, cache.ChargedBytes());
  held.reset();
  EXPECT_EQ(400u, cache.ChargedBytes());
  // One that alone exceeds the bound is handed back, not kept.
  EXPECT_FALSE(cache.Keep(5, Chain(1001))->cached);
}

}  // namespace
