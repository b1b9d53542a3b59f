#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "volume/human_volume.h"

namespace {

// FileOpen works on paths of at most this many bytes; a longer one is refused.
constexpr size_t kMaxOpenPathBytes = 263;

// The most FileRead asks of the device in one request.
constexpr uint32_t kMaxRunBytes = 1u << 20;

}  // namespace

std::unique_ptr<FileHandle> HumanVolume::FileOpen(const char* path, int) {
  if (path == nullptr || strnlen(path, kMaxOpenPathBytes + 1) > kMaxOpenPathBytes) {
    return nullptr;
  }
  PathWalk walk;
  // A walk that ends in a directory names no file; one that meets a file must meet it at
  // the last component, with no separator after its name.
  if (WalkPath(path, false, &walk) != VolumeErrorNotDirectory || !walk.entryIsLast) {
    return nullptr;
  }
  // Rescue reading takes a file for its stored size, whatever its chain says.
  return FileOpenEntry(std::move(walk.entry), rescue);
}

std::unique_ptr<FileHandle> HumanVolume::FileOpenEntry(FindResult entry, bool sizeDecides) {
  std::unique_ptr<FileHandle> handle(new (std::nothrow) FileHandle(std::move(entry)));
  if (!handle) return nullptr;
  handle->tag = FindResultTag;
  handle->pendingCluster = handle->firstCluster;
  handle->clusterBuffer.reset();
  handle->readPosition = nullptr;
  handle->bytesLeft = 0;
  handle->bytesDelivered = 0;
  handle->unreadableBytes = 0;
  handle->cursor.reset();
  handle->sizeDecides = sizeDecides;
  return handle;
}

int HumanVolume::FileClose(FileHandle* handle) {
  if (handle == nullptr || handle->tag != FindResultTag) return VolumeErrorBadHandle;
  handle->clusterBuffer.reset();
  handle->cursor.reset();
  handle->readPosition = nullptr;
  handle->bytesLeft = 0;
  handle->tag = 0;
  return 1;
}

ChainStep HumanVolume::FollowChain(ChainCursor* chain) {
  if (chain->stop != ChainStep::kCluster) return chain->stop;
  const uint32_t next =
      chain->clusters.empty() ? chain->first : NextCluster(chain->clusters.back());
  if (!chain->clusters.empty() && !FatEntryKnown(chain->clusters.back())) {
    chain->stop = ChainStep::kUnknown;
  } else if (!chain->clusters.empty() && IsEndOfChain(next)) {
    chain->stop = ChainStep::kEnd;
  } else if (!IsChainCluster(next)) {
    chain->stop = ChainStep::kBroken;
  } else {
    if (chain->seen.empty()) chain->seen.assign(FatEntryCount(), false);
    if (chain->seen[next]) {
      chain->stop = ChainStep::kLoop;
    } else {
      chain->seen[next] = true;
      chain->clusters.push_back(static_cast<uint16_t>(next));
      return ChainStep::kCluster;
    }
  }
  // The walk is over: what it met is no longer needed.
  chain->seen.clear();
  chain->seen.shrink_to_fit();
  return chain->stop;
}

ChainCursor HumanVolume::WholeChain(uint16_t first) {
  ChainCursor chain(first);
  while (FollowChain(&chain) == ChainStep::kCluster) {
  }
  return chain;
}

uint32_t HumanVolume::ChainLength(uint16_t first) {
  return static_cast<uint32_t>(WholeChain(first).clusters.size());
}

bool HumanVolume::PrepareRead(FileHandle* handle) {
  if (handle->readPosition != nullptr) return true;
  const size_t clusterBytes = ClusterBytes();
  handle->clusterBuffer.reset(new (std::nothrow) uint8_t[2 * clusterBytes]);
  handle->cursor.reset(new (std::nothrow) FileCursor(handle->firstCluster));
  if (!handle->clusterBuffer || !handle->cursor) {
    handle->clusterBuffer.reset();
    handle->cursor.reset();
    return false;
  }
  // A chain that returns to an earlier cluster never ends, so it cannot decide the
  // length: the size does, and the loop is harmless when it comes after the file's last
  // cluster. A chain that breaks off is found when the cluster after the break is due.
  if (!handle->sizeDecides && handle->firstCluster != 0 &&
      WholeChain(handle->firstCluster).stop == ChainStep::kLoop)
    handle->sizeDecides = true;
  handle->readPosition = handle->clusterBuffer.get();
  return true;
}

HumanVolume::FilePart HumanVolume::FileCluster(FileHandle* handle, size_t index, uint16_t* cluster,
                                               uint32_t* counted) {
  ChainCursor& chain = handle->cursor->chain;
  const uint64_t clusterBytes = ClusterBytes();
  const uint64_t start = static_cast<uint64_t>(index) * clusterBytes;
  if (handle->sizeDecides) {
    // The stored size decides: clusters past it are never followed, and a chain that
    // ends, breaks off or loops before it is damage there. The size counts no further
    // than the partition's data area: a damaged entry cannot make a file of more zeros.
    const uint64_t entries = FatEntryCount();
    const uint64_t end =
        std::min<uint64_t>(handle->fileSize, entries > 2 ? (entries - 2) * clusterBytes : 0);
    if (start >= end) return FilePart::kEnd;
    while (chain.clusters.size() <= index && FollowChain(&chain) == ChainStep::kCluster) {
    }
    if (index >= chain.clusters.size()) return FilePart::kLost;
    *cluster = chain.clusters[index];
    *counted = static_cast<uint32_t>(std::min(clusterBytes, end - start));
    return FilePart::kData;
  }
  // The chain decides how many clusters there are, the size how much of the last one
  // counts; one beyond the cluster asked for tells whether that one is the last.
  if (handle->firstCluster == 0) return FilePart::kEnd;
  while (chain.clusters.size() < index + 2 && FollowChain(&chain) == ChainStep::kCluster) {
  }
  if (index >= chain.clusters.size()) {
    // A chain that ends before the size has lost the clusters after it.
    const bool shorter = chain.clusters.size() * clusterBytes < handle->fileSize;
    return chain.stop == ChainStep::kEnd && !shorter ? FilePart::kEnd : FilePart::kLost;
  }
  *cluster = chain.clusters[index];
  const bool last = index + 1 == chain.clusters.size() && chain.stop == ChainStep::kEnd &&
                    start + clusterBytes >= handle->fileSize;
  *counted = last ? LastClusterBytes(*handle, static_cast<uint32_t>(clusterBytes))
                  : static_cast<uint32_t>(clusterBytes);
  return FilePart::kData;
}

int HumanVolume::FileRead(FileHandle* handle, void* buffer, uint32_t length) {
  const int count =
      FileReadAt(handle, handle != nullptr ? handle->bytesDelivered : 0, buffer, length);
  if (count <= 0) return count;
  handle->bytesDelivered += static_cast<uint32_t>(count);
  // The design's view of the position: the cluster of the next byte and what of it is left.
  const uint32_t clusterBytes = ClusterBytes();
  const size_t index = handle->bytesDelivered / clusterBytes;
  const std::vector<uint16_t>& clusters = handle->cursor->chain.clusters;
  handle->pendingCluster = index < clusters.size() ? clusters[index] : 0xFFFF;
  handle->bytesLeft = handle->cursor->bufferedIndex == index
                          ? clusterBytes - handle->bytesDelivered % clusterBytes
                          : 0;
  return count;
}

int HumanVolume::FileReadAt(FileHandle* handle, uint64_t offset, void* buffer, uint32_t length) {
  if (handle == nullptr || handle->tag != FindResultTag) return VolumeErrorBadHandle;
  const uint32_t clusterBytes = ClusterBytes();
  if (fat.empty() || clusterBytes == 0 || !PrepareRead(handle)) return VolumeErrorIo;
  FileCursor& cursor = *handle->cursor;
  // Other handles and directory loads may have moved the device since the last call.
  InvalidateCluster();

  // The count is returned as an int.
  if (length > INT_MAX) length = INT_MAX;
  uint8_t* destination = static_cast<uint8_t*>(buffer);
  uint32_t total = 0;
  // What came before a failure is the caller's; the next call fails on the same cluster,
  // which it tries again.
  const auto failed = [&total]() { return total > 0 ? static_cast<int>(total) : VolumeErrorIo; };
  while (length > 0) {
    const uint64_t at = offset + total;
    if (at >= cursor.zerosFrom) {
      // Rescue reading: the chain could not be followed to here.
      if (at >= cursor.zerosEnd) break;
      const uint32_t count =
          static_cast<uint32_t>(std::min<uint64_t>(length, cursor.zerosEnd - at));
      std::memset(destination, 0, count);
      destination += count;
      length -= count;
      total += count;
      continue;
    }
    const size_t index = static_cast<size_t>(at / clusterBytes);
    const uint32_t within = static_cast<uint32_t>(at % clusterBytes);
    uint16_t cluster = 0;
    uint32_t counted = 0;
    const FilePart part = FileCluster(handle, index, &cluster, &counted);
    if (part == FilePart::kEnd) break;
    if (part == FilePart::kLost) {
      if (!rescue) return failed();
      LoseRest(handle, static_cast<uint64_t>(index) * clusterBytes);
      continue;
    }
    if (within >= counted) break;  // beyond the size, in the last cluster
    // Whole clusters go straight into the caller's buffer, a run of neighbours on the disk
    // with one request. A run that fails is read again one cluster at a time, so the call
    // ends at the bad cluster itself.
    const uint32_t run = within == 0 && length >= clusterBytes
                             ? WholeClusterRun(handle, index, length / clusterBytes)
                             : 0;
    if (run > 0) {
      std::vector<uint32_t> bad;
      if (!ReadClustersExact(destination, cluster, run, &bad)) return failed();
      uint32_t good = run;
      if (!bad.empty()) {
        if (rescue) {
          CountUnreadable(handle, index, bad, static_cast<uint64_t>(run) * clusterBytes);
        } else {
          // The clusters before the first bad one are the caller's; the call ends there.
          good = bad.front() / DeviceSectorsPerCluster();
        }
      }
      destination += good * clusterBytes;
      length -= good * clusterBytes;
      total += good * clusterBytes;
      if (good < run) return failed();
      continue;
    }
    // Part of a cluster goes through the handle's buffer, which keeps it for the next read.
    if (cursor.bufferedIndex != index) {
      cursor.bufferedIndex = SIZE_MAX;
      std::vector<uint32_t> bad;
      if (!ReadClustersExact(handle->clusterBuffer.get(), cluster, 1, &bad)) return failed();
      // A bad sector past the bytes the file takes from the cluster costs nothing.
      if (!bad.empty() && bad.front() * DeviceSectorBytes() < counted) {
        if (!rescue) return failed();
        CountUnreadable(handle, index, bad, counted);
      }
      cursor.bufferedIndex = index;
    }
    const uint32_t count = std::min(length, counted - within);
    std::memcpy(destination, handle->clusterBuffer.get() + within, count);
    destination += count;
    length -= count;
    total += count;
  }
  return static_cast<int>(total);
}

void HumanVolume::LoseRest(FileHandle* handle, uint64_t from) {
  // The rest of the file cannot be found: it comes as zeros, every byte unreadable.
  FileCursor& cursor = *handle->cursor;
  const uint64_t entries = FatEntryCount();
  const uint64_t dataBytes = entries > 2 ? (entries - 2) * ClusterBytes() : 0;
  cursor.zerosFrom = from;
  cursor.zerosEnd = std::max<uint64_t>(from, std::min<uint64_t>(handle->fileSize, dataBytes));
  handle->unreadableBytes += static_cast<uint32_t>(cursor.zerosEnd - from);
}

void HumanVolume::CountUnreadable(FileHandle* handle, size_t index,
                                  const std::vector<uint32_t>& bad, uint64_t limit) {
  const uint64_t bytes = DeviceSectorBytes();
  const uint64_t base = static_cast<uint64_t>(index) * ClusterBytes();
  for (uint32_t sector : bad) {
    const uint64_t start = sector * bytes;
    // A sector read again (another read of the same part) is counted once.
    if (start < limit && handle->cursor->badSectors.insert(base + start).second)
      handle->unreadableBytes += static_cast<uint32_t>(std::min(limit - start, bytes));
  }
}

uint32_t HumanVolume::LastClusterBytes(const FileHandle& handle, uint32_t clusterBytes) {
  const uint32_t tail = handle.fileSize % clusterBytes;
  return tail != 0 ? tail : (handle.fileSize != 0 ? clusterBytes : 0);
}

uint32_t HumanVolume::WholeClusterRun(FileHandle* handle, size_t index, uint32_t most) {
  const uint32_t clusterBytes = ClusterBytes();
  const uint32_t limit = kMaxRunBytes / clusterBytes > 0 ? kMaxRunBytes / clusterBytes : 1;
  if (most > limit) most = limit;
  uint32_t count = 0;
  uint16_t first = 0;
  while (count < most) {
    uint16_t cluster = 0;
    uint32_t counted = 0;
    if (FileCluster(handle, index + count, &cluster, &counted) != FilePart::kData ||
        counted != clusterBytes || (count > 0 && cluster != first + count)) {
      break;
    }
    if (count == 0) first = cluster;
    ++count;
  }
  return count;
}
