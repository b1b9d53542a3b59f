#include "volume/human_volume.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/byte_order.h"

namespace {

// The largest FAT a volume can use: 65536 two-byte entries, or 4096 entries of 12 bits. A
// boot record that declares a longer FAT is read only this far, so a damaged one cannot
// demand a huge buffer; clusters beyond it cannot be addressed by an entry anyway.
constexpr uint32_t kMaxFatBytes = 65536 * 2;
constexpr uint32_t kMaxFat12Bytes = 4096 * 3 / 2;

// In a 12-bit FAT, 0xFF7 marks a bad cluster and 0xFF8..0xFFF end a chain: no cluster has
// such a number.
constexpr uint32_t kFat12Marks = 0xFF7;

// The most a directory's chain may hold: 1,048,576 entries of 32 bytes.
constexpr uint64_t kMaxDirectoryBytes = 32u << 20;

// Resizes `buffer` to `size` zero bytes; false when the memory cannot be had, which the
// callers report like a failed read.
bool TryResize(std::vector<uint8_t>* buffer, size_t size) {
  try {
    buffer->assign(size, 0);
    return true;
  } catch (const std::bad_alloc&) {
    buffer->clear();
    return false;
  }
}

// True when `value` fits the device's signed 32-bit sector numbers.
bool FitsSector(int64_t value) { return value >= 0 && value <= INT_MAX; }

// Reads device sector `sector` alone into `out`, past the system's cache where the device
// can, up to `tries` times. False when every try failed or the sector cannot be reached.
bool ReadSectorAlone(SectorDevice* device, int64_t sector, uint8_t* out, int tries) {
  for (int attempt = 0; attempt < tries; ++attempt) {
    if (FitsSector(sector) && device->Seek(static_cast<int>(sector), 0) >= 0 &&
        device->ReadRescue(out, 1) >= 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

HumanVolume::HumanVolume() = default;

HumanVolume::~HumanVolume() = default;

int HumanVolume::SelectPartition(const PartitionInfo& info) {
  // Directories of another partition, or of an earlier mount, are no longer true.
  directories.Clear();
  if (device != nullptr && device->SelectDisk(info.disk) < 0) return -1;
  sectorSize = info.sectorSize;
  sectorsPerCluster = info.sectorsPerCluster;
  startSector = info.startSector;
  partitionSectors = info.partitionSectors;
  fatStart = info.fatStart;
  fatSectors = info.fatSectors;
  fatCount = info.fatCount;
  rootStart = info.rootStart;
  rootBytes = info.rootBytes;
  return Mount();
}

int HumanVolume::FileWrite(FileHandle*, const void*, uint32_t) { return VolumeErrorIo; }

int HumanVolume::Mount() {
  if (device == nullptr) return -1;
  DeviceGeometry geometry = device->GetGeometry();
  const int32_t d = geometry.bytesPerSector;
  // Values that would divide by zero, make no progress or fall between device sectors
  // make the partition unreadable.
  if (d <= 0 || sectorSize == 0 || sectorSize % d != 0 || sectorsPerCluster == 0 ||
      fatSectors <= 0 || fatStart < 0 || rootBytes < 0) {
    return -1;
  }
  // The multiplier belongs to the partition being mounted: a table whose partitions have
  // different sector sizes leaves the scan's value fitting only some of them.
  sectorMultiplier = sectorSize / d;

  const int64_t base = static_cast<int64_t>(startSector) * sectorMultiplier;
  const int64_t fatSector = static_cast<int64_t>(fatStart) * sectorMultiplier;
  const int64_t rootSector =
      (static_cast<int64_t>(fatStart) + static_cast<int64_t>(fatCount) * fatSectors) *
      sectorMultiplier;
  if (!FitsSector(base) || !FitsSector(fatSector) || !FitsSector(rootSector)) return -1;

  geometry.baseSector = static_cast<int32_t>(base);
  device->SetGeometry(geometry);

  uint32_t fatReadSectors = static_cast<uint32_t>(fatSectors);
  const uint32_t fatLimitSectors =
      ((fatBits == 12 ? kMaxFat12Bytes : kMaxFatBytes) + sectorSize - 1) / sectorSize;
  if (fatReadSectors > fatLimitSectors) fatReadSectors = fatLimitSectors;
  if (!TryResize(&fat, static_cast<size_t>(2) * fatReadSectors * sectorSize)) return -1;
  if (!ReadFat(fatReadSectors)) {
    fat.clear();
    fat.shrink_to_fit();
    return -1;
  }

  currentCluster = 0;
  rootDirectory = Directory(0);
  currentDirectory = rootDirectory;
  return 0;
}

bool HumanVolume::ReadFat(uint32_t sectors) {
  const uint32_t m = static_cast<uint32_t>(sectorMultiplier);
  InvalidateCluster();
  unknownFat.clear();
  if (SeekDevice(static_cast<int64_t>(fatStart) * m) && device->Read(fat.data(), sectors * m) >= 0)
    return true;
  // The copies hold the same table: each device sector of it that the first copy cannot
  // give is taken from the next copy that can.
  const uint32_t count = sectors * m;
  const size_t bytes = DeviceSectorBytes();
  for (uint32_t i = 0; i < count; ++i) {
    bool read = false;
    for (uint32_t copy = 0; copy < fatCount && !read; ++copy) {
      const int64_t sector =
          (static_cast<int64_t>(fatStart) + static_cast<int64_t>(copy) * fatSectors) * m + i;
      std::vector<uint32_t> bad;
      ReadSectorsExact(&fat[i * bytes], sector, 1, &bad);
      read = bad.empty();
    }
    if (read) continue;
    // Rescue reading goes on without the entries of that sector; a chain that needs one
    // ends there.
    if (!rescue) return false;
    if (unknownFat.empty()) unknownFat.assign(count, false);
    unknownFat[i] = true;
  }
  return true;
}

bool HumanVolume::FatEntryKnown(uint32_t cluster) const {
  if (unknownFat.empty()) return true;
  // The entry's two bytes; with 12 bits they may lie in two sectors.
  const size_t first =
      fatBits == 12 ? static_cast<size_t>(cluster) * 3 / 2 : static_cast<size_t>(cluster) * 2;
  for (size_t byte = first; byte <= first + 1; ++byte) {
    const size_t sector = byte / DeviceSectorBytes();
    if (sector < unknownFat.size() && unknownFat[sector]) return false;
  }
  return true;
}

uint32_t HumanVolume::UnknownFatEntries() const {
  uint32_t count = 0;
  for (uint32_t cluster = 2; cluster < FatEntryCount() && !unknownFat.empty(); ++cluster) {
    if (!FatEntryKnown(cluster)) ++count;
  }
  return count;
}

std::shared_ptr<const LoadedChain> HumanVolume::Directory(uint16_t cluster) {
  std::shared_ptr<const LoadedChain> chain = directories.Find(cluster);
  if (chain) return chain;
  return directories.Keep(cluster, LoadChain(cluster));
}

int HumanVolume::IsEndOfChain(uint32_t cluster) {
  const uint32_t low = cluster & 0xFFFF;
  if (fatBits == 12) return low >= 0xFF8 && low <= 0xFFF ? 1 : 0;
  return low >= 0xFFF8 ? 1 : 0;
}

uint16_t HumanVolume::NextCluster(uint32_t cluster) {
  const uint32_t index = cluster & 0xFFFF;
  if (index >= FatEntryCount()) return 0;
  if (fatBits != 12) return platform::LoadLe16(&fat[static_cast<size_t>(index) * 2]);
  // The entry count keeps both bytes of the word inside the FAT read.
  const uint16_t word = platform::LoadLe16(&fat[static_cast<size_t>(index) * 3 / 2]);
  return static_cast<uint16_t>(index % 2 != 0 ? word >> 4 : word & 0xFFF);
}

uint32_t HumanVolume::FatEntryCount() const {
  // The buffer is twice the FAT read from the disk; only the first half describes clusters.
  if (fatBits != 12) return static_cast<uint32_t>(fat.size() / 4);
  return std::min<uint32_t>(static_cast<uint32_t>(fat.size() / 2 * 2 / 3), kFat12Marks);
}

bool HumanVolume::IsChainCluster(uint32_t cluster) const {
  return cluster >= 2 && cluster <= 0xFFFF && cluster < FatEntryCount();
}

uint32_t HumanVolume::ClusterBytes() const {
  return static_cast<uint32_t>(sectorsPerCluster) * sectorSize;
}

std::unique_ptr<LoadedChain> HumanVolume::LoadChain(uint16_t first) {
  if (fat.empty() || device == nullptr) return nullptr;
  std::unique_ptr<LoadedChain> chain(new (std::nothrow) LoadedChain);
  if (!chain) return nullptr;

  if (first == 0) {
    // The root directory is no chain: it is read whole from its fixed place, in whole
    // sectors and a little beyond its last entry.
    const size_t size =
        (static_cast<size_t>(rootBytes + 32) / sectorSize + 1) * static_cast<size_t>(sectorSize);
    if (!TryResize(&chain->bytes, size)) return nullptr;
    chain->entryBytes = static_cast<size_t>(rootBytes);
    const int64_t rootSector =
        (static_cast<int64_t>(fatStart) + static_cast<int64_t>(fatCount) * fatSectors) *
        sectorMultiplier;
    const uint32_t sectors =
        static_cast<uint32_t>(size / sectorSize) * static_cast<uint32_t>(sectorMultiplier);
    // The device leaves the cluster ReadCluster may expect it at.
    InvalidateCluster();
    if (SeekDevice(rootSector) && device->Read(chain->bytes.data(), sectors) >= 0) return chain;
    // The buffer reaches into the data area; only the root's own sectors must be read.
    const uint32_t own =
        static_cast<uint32_t>((static_cast<size_t>(rootBytes) + sectorSize - 1) / sectorSize) *
        static_cast<uint32_t>(sectorMultiplier);
    std::fill(chain->bytes.begin(), chain->bytes.end(), 0);
    std::vector<uint32_t> bad;
    ReadSectorsExact(chain->bytes.data(), rootSector, own, &bad);
    if (bad.empty()) return chain;
    // An unread root would pass for an empty one.
    if (!rescue) return nullptr;
    MarkLostEntries(chain.get(), 0, bad, chain->entryBytes);
    return chain;
  }

  // A chain that breaks off or loops cannot be loaded whole. Rescue reading loads a
  // directory as far as the FAT could be read.
  const ChainCursor walk = WholeChain(first);
  if (walk.stop != ChainStep::kEnd && !(rescue && walk.stop == ChainStep::kUnknown)) return nullptr;
  // No directory holds a million entries: a chain that long is damage, and loading it
  // (rescue reading fills what it cannot read) would only cost memory and time.
  if (static_cast<uint64_t>(walk.clusters.size()) * ClusterBytes() > kMaxDirectoryBytes)
    return nullptr;

  // The buffer grows with every cluster read, so a chain that claims more clusters than
  // the medium holds fails at its first unreadable cluster rather than at an allocation.
  const size_t clusterBytes = ClusterBytes();
  InvalidateCluster();
  size_t used = 0;
  for (uint16_t c : walk.clusters) {
    try {
      chain->bytes.resize(used + clusterBytes);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
    std::vector<uint32_t> bad;
    if (!ReadClustersExact(chain->bytes.data() + used, c, 1, &bad)) return nullptr;
    if (!bad.empty()) {
      if (!rescue) return nullptr;
      MarkLostEntries(chain.get(), used, bad, used + clusterBytes);
    }
    used += clusterBytes;
  }
  try {
    chain->bytes.resize(used + 32);  // the last 32 bytes stay zero: an end entry
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  chain->entryBytes = chain->bytes.size();
  return chain;
}

int HumanVolume::ReadCluster(uint8_t* destination, uint32_t cluster) {
  return ReadClusterRun(destination, cluster & 0xFFFF, 1);
}

int HumanVolume::ReadClusterRun(uint8_t* destination, uint32_t first, uint32_t count) {
  // Clusters 0 and 1 and those past the FAT would place the read outside the data area.
  if (device == nullptr || count == 0 || !IsChainCluster(first) ||
      !IsChainCluster(first + count - 1)) {
    InvalidateCluster();
    return -1;
  }
  if (static_cast<int>(first) != expectedCluster && !SeekDevice(ClusterSector(first))) {
    InvalidateCluster();
    return -1;
  }
  const uint64_t sectors =
      static_cast<uint64_t>(count) * sectorsPerCluster * static_cast<uint32_t>(sectorMultiplier);
  if (sectors > UINT_MAX || device->Read(destination, static_cast<unsigned>(sectors)) < 0) {
    InvalidateCluster();
    return -1;
  }
  expectedCluster = static_cast<int>(first + count);
  return 0;
}

void HumanVolume::InvalidateCluster() { expectedCluster = -1; }

bool HumanVolume::SeekDevice(int64_t sector) {
  return FitsSector(sector) && device->Seek(static_cast<int>(sector), 0) >= 0;
}

int64_t HumanVolume::ClusterSector(uint32_t cluster) const {
  return ((static_cast<int64_t>(cluster) - 2) * sectorsPerCluster + rootBytes / sectorSize +
          rootStart) *
         sectorMultiplier;
}

uint32_t HumanVolume::DeviceSectorsPerCluster() const {
  return static_cast<uint32_t>(sectorsPerCluster) * static_cast<uint32_t>(sectorMultiplier);
}

uint32_t HumanVolume::DeviceSectorBytes() const {
  return static_cast<uint32_t>(sectorSize) / static_cast<uint32_t>(sectorMultiplier);
}

bool HumanVolume::ReadClustersExact(uint8_t* destination, uint32_t first, uint32_t count,
                                    std::vector<uint32_t>* bad) {
  bad->clear();
  if (ReadClusterRun(destination, first, count) == 0) return true;
  if (count == 0 || !IsChainCluster(first) || !IsChainCluster(first + count - 1)) return false;
  RetrySectors(destination, ClusterSector(first), count * DeviceSectorsPerCluster(), bad);
  return true;
}

void HumanVolume::ReadSectorsExact(uint8_t* destination, int64_t first, uint32_t count,
                                   std::vector<uint32_t>* bad) {
  bad->clear();
  if (count == 0 || (SeekDevice(first) && device->Read(destination, count) >= 0)) return;
  RetrySectors(destination, first, count, bad);
}

void HumanVolume::RetrySectors(uint8_t* destination, int64_t first, uint32_t count,
                               std::vector<uint32_t>* bad) {
  // A failed request may have failed for one sector of many: a block device read through
  // the system's cache fails the whole read-ahead window around a bad sector. Each sector
  // is read again on its own past the cache, so only the bad ones are lost.
  const size_t bytes = static_cast<size_t>(device->GetGeometry().bytesPerSector);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* sector = destination + static_cast<size_t>(i) * bytes;
    if (!ReadSectorAlone(device, first + i, sector, rescue ? 3 : 1)) {
      std::memset(sector, 0, bytes);
      bad->push_back(i);
    }
  }
  InvalidateCluster();
}

void HumanVolume::MarkLostEntries(LoadedChain* chain, size_t offset,
                                  const std::vector<uint32_t>& bad, size_t limit) {
  const size_t bytes = DeviceSectorBytes();
  for (uint32_t index : bad) {
    const size_t start = offset + index * bytes;
    // Deleted, not free: a free entry would end the directory, and the entries in the
    // sectors after this one are still to be listed.
    for (size_t at = start; at + 32 <= start + bytes && at + 32 <= chain->bytes.size(); at += 32) {
      chain->bytes[at] = 0xE5;
      if (at + 32 <= limit) ++chain->entriesLost;
    }
  }
}

int HumanVolume::SetRescue(int on) {
  const int previous = rescue ? 1 : 0;
  rescue = on != 0;
  return previous;
}

int HumanVolume::TakeDamage(DirectoryDamage* out) {
  if (damage.empty()) return 0;
  *out = std::move(damage.front());
  damage.erase(damage.begin());
  return 1;
}

int HumanVolume::SetOptions(int flags) {
  const int previous = options;
  options = flags;
  return previous;
}

uint32_t HumanVolume::Swap32(uint32_t value) {
  return (static_cast<uint32_t>(Swap16(static_cast<uint16_t>(value & 0xFFFF))) << 16) |
         Swap16(static_cast<uint16_t>(value >> 16));
}

uint16_t HumanVolume::Swap16(uint16_t value) {
  return static_cast<uint16_t>((value << 8) | (value >> 8));
}

bool HumanVolume::ReadMediaHead(SectorDevice* device, uint8_t* buffer, int32_t* bytesPerSector) {
  if (device == nullptr) return false;
  const int32_t d = device->GetGeometry().bytesPerSector;
  if (d <= 0 || d > 4096 || 4096 % d != 0) return false;
  // The boot sector of a PC medium is its first 512 bytes; an X68000 label and partition
  // table fail their checks where a sector could not be read and reads as zeros.
  if (!ReadHead(device, 0, d, 512, buffer)) return false;
  *bytesPerSector = d;
  return true;
}

bool HumanVolume::ReadHead(SectorDevice* device, int64_t sector, int32_t d, size_t needed,
                           uint8_t* buffer) {
  const unsigned count = static_cast<unsigned>(4096 / d);
  if (FitsSector(sector) && device->Seek(static_cast<int>(sector), 0) >= 0 &&
      device->Read(buffer, count) >= 0) {
    return true;
  }
  // The 4096 bytes reach past the boot record (into the FAT, on most media): a bad
  // sector there must not cost the record.
  for (unsigned i = 0; i < count; ++i) {
    uint8_t* part = buffer + static_cast<size_t>(i) * d;
    if (ReadSectorAlone(device, sector + i, part, rescue ? 3 : 1)) continue;
    if (static_cast<size_t>(i) * d < needed) return false;
    std::memset(part, 0, static_cast<size_t>(d));
  }
  return true;
}
