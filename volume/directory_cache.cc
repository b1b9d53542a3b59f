#include "volume/directory_cache.h"

DirectoryCache::DirectoryCache(size_t limitBytes)
    : limit(limitBytes), ledger(std::make_shared<Ledger>()) {}

std::shared_ptr<const LoadedChain> DirectoryCache::Find(uint16_t cluster) {
  const auto found = byCluster.find(cluster);
  if (found == byCluster.end()) return nullptr;
  recent.splice(recent.begin(), recent, found->second);
  return found->second->second;
}

std::shared_ptr<const LoadedChain> DirectoryCache::Keep(uint16_t cluster,
                                                        std::unique_ptr<LoadedChain> chain) {
  if (!chain) return nullptr;
  const size_t bytes = chain->bytes.capacity();
  if (bytes > limit) return std::shared_ptr<const LoadedChain>(std::move(chain));

  chain->cached = true;
  chain->chargedBytes = bytes;
  ledger->bytes += bytes;
  std::shared_ptr<Ledger> account = ledger;
  std::shared_ptr<const LoadedChain> shared(chain.release(), [account](const LoadedChain* c) {
    account->bytes -= c->chargedBytes;
    delete c;
  });
  const auto old = byCluster.find(cluster);
  if (old != byCluster.end()) {
    recent.erase(old->second);
    byCluster.erase(old);
  }
  recent.emplace_front(cluster, shared);
  byCluster[cluster] = recent.begin();
  Trim();
  return shared;
}

void DirectoryCache::Charge(const LoadedChain& chain, size_t bytes) {
  if (!chain.cached) return;
  chain.chargedBytes += bytes;
  ledger->bytes += bytes;
  Trim();
}

void DirectoryCache::Clear() {
  byCluster.clear();
  recent.clear();
}

void DirectoryCache::Trim() {
  while (ledger->bytes > limit && !recent.empty()) {
    byCluster.erase(recent.back().first);
    recent.pop_back();
  }
}
