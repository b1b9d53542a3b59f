#ifndef VOLUME_DIRECTORY_CACHE_H_
#define VOLUME_DIRECTORY_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

// A hash index of the names in one loaded directory: for every entry in use, the hash of
// its name key and the entry's byte offset, in an open-addressing table probed linearly.
// Entries go in in directory order and nothing is ever removed, so among the entries
// whose keys hash alike the one met first while probing is the first in the directory.
struct DirectoryIndex {
  static constexpr int kNoOptions = -1;

  int options = kNoOptions;       // the option bits the index was built under
  std::vector<uint32_t> hashes;   // per slot
  std::vector<uint32_t> offsets;  // per slot: entry offset + 1; 0 marks a free slot

  size_t Bytes() const { return (hashes.capacity() + offsets.capacity()) * sizeof(uint32_t); }
};

// A directory or cluster chain loaded whole into memory by LoadChain.
struct LoadedChain {
  std::vector<uint8_t> bytes;
  // How many leading bytes of `bytes` hold directory entries: the root directory's
  // rootBytes (its buffer continues with the sectors that follow it on the disk), or the
  // whole buffer for a chain (which always ends in 32 zero bytes).
  size_t entryBytes = 0;
  // Entries lost to sectors that could not be read (rescue reading), and whether a walk
  // has noted that yet.
  uint32_t entriesLost = 0;
  mutable bool damageNoted = false;
  // Set while a DirectoryCache holds the chain: lookups in it then go through `index`.
  bool cached = false;
  mutable DirectoryIndex index;
  // Bytes this chain has been charged to its cache's bound, index included.
  mutable size_t chargedBytes = 0;
};

// The directories a mounted volume has loaded, kept by first cluster (0 the root). The
// volume never writes, so a directory loaded once stays true for the whole run.
//
// Memory is bounded: the bytes of every chain the cache has taken in, with their indexes,
// count against `limitBytes` for as long as anyone holds the chain (a search, the current
// directory), and the least recently used chains leave the cache until the count fits or
// nothing is left to drop. A chain that alone exceeds the bound is not kept.
class DirectoryCache {
 public:
  explicit DirectoryCache(size_t limitBytes);
  DirectoryCache(const DirectoryCache&) = delete;
  DirectoryCache& operator=(const DirectoryCache&) = delete;

  // The chain kept for `cluster`, now the most recently used; null when none is kept.
  std::shared_ptr<const LoadedChain> Find(uint16_t cluster);
  // Takes a freshly loaded chain for `cluster` and hands it back shared. Kept unless it
  // alone exceeds the bound; then it is handed back uncharged and not indexed.
  std::shared_ptr<const LoadedChain> Keep(uint16_t cluster, std::unique_ptr<LoadedChain> chain);
  // Counts `bytes` more against the bound for a chain this cache took in (its index grew)
  // and drops least recently used chains to fit.
  void Charge(const LoadedChain& chain, size_t bytes);
  // Drops every chain; those still held elsewhere keep counting until released.
  void Clear();

  // Bytes counted against the bound now.
  size_t ChargedBytes() const { return ledger->bytes; }
  size_t Count() const { return recent.size(); }

 private:
  struct Ledger {
    size_t bytes = 0;
  };
  using Recent = std::list<std::pair<uint16_t, std::shared_ptr<const LoadedChain>>>;

  void Trim();

  const size_t limit;
  // Shared with the chains' deleters, so a chain released after the cache still settles.
  std::shared_ptr<Ledger> ledger;
  Recent recent;  // most recently used first
  std::unordered_map<uint16_t, Recent::iterator> byCluster;
};

#endif  // VOLUME_DIRECTORY_CACHE_H_
