#include <climits>
#include <cstring>
#include <new>

#include "volume/human_volume.h"

namespace {

// FileOpen works on paths of at most this many bytes; a longer one is refused.
constexpr size_t kMaxOpenPathBytes = 263;

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
  std::unique_ptr<FileHandle> handle(new (std::nothrow) FileHandle(std::move(walk.entry)));
  if (!handle) return nullptr;
  handle->pendingCluster = handle->firstCluster;
  handle->clusterBuffer.reset();
  handle->readPosition = nullptr;
  handle->bytesLeft = 0;
  return handle;
}

int HumanVolume::FileClose(FileHandle* handle) {
  if (handle == nullptr || handle->tag != FindResultTag) return VolumeErrorBadHandle;
  handle->clusterBuffer.reset();
  handle->readPosition = nullptr;
  handle->bytesLeft = 0;
  handle->tag = 0;
  return 1;
}

bool HumanVolume::ChainTerminates(uint32_t first) {
  const uint32_t limit = FatEntryCount();
  uint32_t c = first;
  for (uint32_t steps = 0; steps <= limit; ++steps) {
    if (IsEndOfChain(c) || !IsChainCluster(c)) return true;
    c = NextCluster(c);
  }
  return false;
}

int HumanVolume::FileRead(FileHandle* handle, void* buffer, uint32_t length) {
  if (handle == nullptr || handle->tag != FindResultTag) return VolumeErrorBadHandle;
  const uint32_t clusterBytes = ClusterBytes();
  if (fat.empty() || clusterBytes == 0) return VolumeErrorIo;
  if (handle->readPosition == nullptr) {
    // A chain that returns to an earlier cluster never ends: such a file is unreadable
    // from its start. A chain that breaks off into a cluster outside the data area is
    // found when that cluster is due, after the clusters before it.
    if (!ChainTerminates(handle->pendingCluster)) return VolumeErrorIo;
    handle->clusterBuffer.reset(new (std::nothrow) uint8_t[2 * static_cast<size_t>(clusterBytes)]);
    if (!handle->clusterBuffer) return VolumeErrorIo;
    handle->readPosition = handle->clusterBuffer.get();
    handle->bytesLeft = 0;
  }
  // Other handles and directory loads may have moved the device since the last call.
  InvalidateCluster();

  // The count is returned as an int.
  if (length > INT_MAX) length = INT_MAX;
  uint8_t* destination = static_cast<uint8_t*>(buffer);
  uint32_t total = 0;
  while (length > 0) {
    if (handle->bytesLeft > 0) {
      const uint32_t count = length < handle->bytesLeft ? length : handle->bytesLeft;
      std::memcpy(destination, handle->readPosition, count);
      destination += count;
      handle->readPosition += count;
      handle->bytesLeft -= count;
      length -= count;
      total += count;
      continue;
    }
    // First cluster 0 is an empty file; a 0 met later in the chain is a broken link and
    // fails to load like any other cluster outside the data area.
    if (IsEndOfChain(handle->pendingCluster) ||
        (handle->pendingCluster == 0 && handle->firstCluster == 0)) {
      break;
    }
    // On a failure the chain position stays, so the next call tries this cluster again.
    if (ReadCluster(handle->clusterBuffer.get(), handle->pendingCluster) < 0) {
      return VolumeErrorIo;
    }
    handle->readPosition = handle->clusterBuffer.get();
    handle->pendingCluster = NextCluster(handle->pendingCluster);
    if (!IsEndOfChain(handle->pendingCluster)) {
      handle->bytesLeft = clusterBytes;
    } else {
      // The file's last cluster: the size decides how much of it counts. The chain, not
      // the size, decides how many clusters there are.
      const uint32_t tail = handle->fileSize % clusterBytes;
      handle->bytesLeft = tail != 0 ? tail : (handle->fileSize != 0 ? clusterBytes : 0);
    }
  }
  return static_cast<int>(total);
}
