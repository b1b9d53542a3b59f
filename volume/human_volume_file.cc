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
  std::unique_ptr<FileHandle> handle(new (std::nothrow) FileHandle(std::move(walk.entry)));
  if (!handle) return nullptr;
  handle->pendingCluster = handle->firstCluster;
  handle->clusterBuffer.reset();
  handle->readPosition = nullptr;
  handle->bytesLeft = 0;
  handle->bytesDelivered = 0;
  handle->zeroFillLeft = 0;
  handle->unreadableBytes = 0;
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
    handle->clusterBuffer.reset(new (std::nothrow) uint8_t[2 * static_cast<size_t>(clusterBytes)]);
    if (!handle->clusterBuffer) return VolumeErrorIo;
    // A chain that returns to an earlier cluster never ends: such a file is unreadable
    // from its start (rescue reading gives its size in zeros). A chain that breaks off
    // into a cluster outside the data area is found when that cluster is due, after the
    // clusters before it.
    if (!ChainTerminates(handle->pendingCluster)) {
      if (!rescue) {
        handle->clusterBuffer.reset();
        return VolumeErrorIo;
      }
      BreakChain(handle, 0);
    }
    handle->readPosition = handle->clusterBuffer.get();
    handle->bytesLeft = 0;
  }
  // Other handles and directory loads may have moved the device since the last call.
  InvalidateCluster();

  // The count is returned as an int.
  if (length > INT_MAX) length = INT_MAX;
  uint8_t* destination = static_cast<uint8_t*>(buffer);
  uint32_t total = 0;
  // What was delivered before a failure is the caller's; the next call fails on the
  // same cluster, which it tries again.
  const auto failed = [handle, &total]() {
    handle->bytesDelivered += total;
    return total > 0 ? static_cast<int>(total) : VolumeErrorIo;
  };
  while (length > 0) {
    if (handle->bytesLeft > 0 || handle->zeroFillLeft > 0) {
      const bool zeros = handle->bytesLeft == 0;
      const uint32_t available = zeros ? handle->zeroFillLeft : handle->bytesLeft;
      const uint32_t count = length < available ? length : available;
      if (zeros) {
        std::memset(destination, 0, count);
        handle->zeroFillLeft -= count;
      } else {
        std::memcpy(destination, handle->readPosition, count);
        handle->readPosition += count;
        handle->bytesLeft -= count;
      }
      destination += count;
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
    if (rescue && !IsChainCluster(handle->pendingCluster)) {
      BreakChain(handle, handle->bytesDelivered + total);
      continue;
    }
    // Whole clusters go straight into the caller's buffer, a run of neighbours on the disk
    // with one request. A run that fails is read again one cluster at a time, so the call
    // ends at the bad cluster itself.
    const uint32_t run =
        length >= clusterBytes ? WholeClusterRun(*handle, length / clusterBytes) : 0;
    if (run > 0) {
      const bool whole = ReadClusterRun(destination, handle->pendingCluster, run) == 0;
      for (uint32_t i = 0; i < run; ++i) {
        if (!whole && (run == 1 || ReadClusterRun(destination, handle->pendingCluster, 1) < 0)) {
          if (!rescue) return failed();
          RescueFileCluster(handle, destination, handle->pendingCluster, clusterBytes);
        }
        handle->pendingCluster = NextCluster(handle->pendingCluster);
        destination += clusterBytes;
        length -= clusterBytes;
        total += clusterBytes;
      }
      continue;
    }
    // A partial cluster goes through the handle's buffer.
    const uint16_t cluster = handle->pendingCluster;
    const uint16_t next = NextCluster(cluster);
    // The chain, not the size, decides how many clusters there are.
    const uint32_t counted =
        IsEndOfChain(next) ? LastClusterBytes(*handle, clusterBytes) : clusterBytes;
    if (ReadCluster(handle->clusterBuffer.get(), cluster) < 0) {
      if (!rescue) return failed();
      RescueFileCluster(handle, handle->clusterBuffer.get(), cluster, counted);
    }
    handle->readPosition = handle->clusterBuffer.get();
    handle->pendingCluster = next;
    handle->bytesLeft = counted;
  }
  handle->bytesDelivered += total;
  return static_cast<int>(total);
}

void HumanVolume::BreakChain(FileHandle* handle, uint32_t delivered) {
  // The rest of the file cannot be found: it comes as zeros, every byte unreadable.
  const uint32_t rest = handle->fileSize > delivered ? handle->fileSize - delivered : 0;
  handle->zeroFillLeft = rest;
  handle->unreadableBytes += rest;
  handle->pendingCluster = 0xFFFF;
}

void HumanVolume::RescueFileCluster(FileHandle* handle, uint8_t* destination, uint32_t cluster,
                                    uint32_t counted) {
  std::vector<uint32_t> bad;
  RescueSectors(destination, ClusterSector(cluster), DeviceSectorsPerCluster(), &bad);
  const uint32_t bytes = DeviceSectorBytes();
  for (uint32_t index : bad) {
    const uint32_t start = index * bytes;
    if (start < counted)
      handle->unreadableBytes += (counted - start < bytes ? counted - start : bytes);
  }
}

uint32_t HumanVolume::LastClusterBytes(const FileHandle& handle, uint32_t clusterBytes) {
  const uint32_t tail = handle.fileSize % clusterBytes;
  return tail != 0 ? tail : (handle.fileSize != 0 ? clusterBytes : 0);
}

uint32_t HumanVolume::WholeClusterRun(const FileHandle& handle, uint32_t most) {
  const uint32_t clusterBytes = ClusterBytes();
  const uint32_t limit = kMaxRunBytes / clusterBytes > 0 ? kMaxRunBytes / clusterBytes : 1;
  if (most > limit) most = limit;
  uint32_t count = 0;
  uint32_t c = handle.pendingCluster;
  while (count < most && IsChainCluster(c)) {
    const uint32_t next = NextCluster(c);
    if (IsEndOfChain(next)) {
      if (LastClusterBytes(handle, clusterBytes) == clusterBytes) ++count;
      break;
    }
    ++count;
    if (next != c + 1) break;
    c = next;
  }
  return count;
}
