#include "volume/human_floppy_volume.h"

#include <algorithm>
#include <new>
#include <vector>

#include "platform/byte_order.h"

namespace {

constexpr int32_t kSectorBytes = 1024;
constexpr int64_t kTrackBytes = 8 * kSectorBytes;
constexpr int64_t kStandardBytes = 77 * 2 * kTrackBytes;  // 1232 sectors
constexpr int64_t kMostBytes = 85 * 2 * kTrackBytes;
// A container holds few disks; more than this are not looked at.
constexpr int kMostDisks = 64;

// The standard 2HD layout, taken when the BPB is not consistent.
constexpr uint8_t kStandardMedia = 0xFE;
constexpr uint16_t kStandardReserved = 1;
constexpr uint8_t kStandardFats = 2;
constexpr uint8_t kStandardFatSectors = 2;
constexpr uint16_t kStandardRootEntries = 192;
constexpr int32_t kStandardTotal = 1232;

bool ReadsAt(SectorDevice* device, int64_t sector, std::vector<uint8_t>* buffer) {
  return sector <= INT32_MAX && device->Seek(static_cast<int>(sector), 0) >= 0 &&
         device->Read(buffer->data(), 1) >= 0;
}

// Bytes of the selected disk: where its first device sector that cannot be read starts,
// found by halving from the head (read already) to kMostBytes. 0 when the disk reaches
// beyond kMostBytes.
int64_t DiskBytes(SectorDevice* device, int32_t d) {
  std::vector<uint8_t> buffer(static_cast<size_t>(d));
  int64_t readable = 4096 / d;          // every device sector before it reads
  int64_t unreadable = kMostBytes / d;  // it does not read
  if (ReadsAt(device, unreadable, &buffer)) return 0;
  while (readable < unreadable) {
    const int64_t middle = readable + (unreadable - readable) / 2;
    if (ReadsAt(device, middle, &buffer)) {
      readable = middle + 1;
    } else {
      unreadable = middle;
    }
  }
  return readable * d;
}

bool PowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

HumanFloppyVolume::HumanFloppyVolume() {
  SetOptions(7);
  fatBits = 12;
}

HumanFloppyVolume::HumanFloppyVolume(SectorDevice* device) : HumanFloppyVolume() {
  this->device = device;
}

int HumanFloppyVolume::Recognize(SectorDevice* device) {
  if (device == nullptr) return 0;
  const int disks = std::min(device->DiskCount(), kMostDisks);
  int found = 0;
  for (int disk = 0; disk < disks && found == 0; ++disk) {
    PartitionInfo info;
    if (device->SelectDisk(disk) >= 0 && ReadDisk(device, &info)) found = 1;
  }
  device->SelectDisk(0);
  return found;
}

std::unique_ptr<HumanVolume> HumanFloppyVolume::Create(SectorDevice* device) {
  return std::unique_ptr<HumanVolume>(new (std::nothrow) HumanFloppyVolume(device));
}

int HumanFloppyVolume::ReadPartitionTable(PartitionInfo* table, int capacity) {
  if (device == nullptr) return 0;
  const int disks = std::min({device->DiskCount(), kMostDisks, capacity});
  int read = 0;
  for (int disk = 0; disk < disks; ++disk) {
    PartitionInfo& info = table[disk];
    info = PartitionInfo();
    if (device->SelectDisk(disk) >= 0 && ReadDisk(device, &info)) {
      ++read;
      sectorMultiplier = kSectorBytes / device->GetGeometry().bytesPerSector;
    } else {
      info = PartitionInfo();
      info.bootUnreadable = true;
    }
    info.disk = disk;
  }
  return read > 0 ? disks : 0;
}

bool HumanFloppyVolume::ReadDisk(SectorDevice* device, PartitionInfo* info) {
  uint8_t head[4096] = {};
  int32_t d = 0;
  if (!ReadMediaHead(device, head, &d) || kSectorBytes % d != 0 || head[0] != 0x60) return false;
  const int64_t bytes = DiskBytes(device, d);
  if (bytes < kTrackBytes || bytes % kTrackBytes != 0) return false;

  info->sectorSize = kSectorBytes;
  info->startSector = 0;
  info->reserved = 0;
  // The BPB, when it is consistent.
  const uint32_t sectorsPerCluster = head[20];
  const uint32_t fats = head[21];
  const uint32_t reserved = platform::LoadBe16(head + 22);
  const uint32_t rootEntries = platform::LoadBe16(head + 24);
  const int64_t total = platform::LoadBe16(head + 26);
  const uint8_t media = head[28];
  const uint32_t fatSectors = head[29];
  const int64_t dataStart = static_cast<int64_t>(reserved) + fats * fatSectors +
                            static_cast<int64_t>(rootEntries) * 32 / kSectorBytes;
  const int64_t clusters =
      sectorsPerCluster != 0 && total > dataStart ? (total - dataStart) / sectorsPerCluster : 0;
  bool consistent = platform::LoadBe16(head + 18) == kSectorBytes &&
                    PowerOfTwo(sectorsPerCluster) && fats >= 1 && fats <= 2 && reserved >= 1 &&
                    rootEntries > 0 && rootEntries % (kSectorBytes / 32) == 0 && media >= 0xF0 &&
                    fatSectors >= 1 && clusters >= 1 && clusters < Fat16LeastClusters &&
                    (clusters + 2) * 3 <= static_cast<int64_t>(fatSectors) * kSectorBytes * 2 &&
                    total * kSectorBytes <= bytes;
  if (consistent) {
    // The FAT's first bytes repeat the media byte.
    uint8_t fat[4096] = {};
    const size_t offset = static_cast<size_t>(reserved) * kSectorBytes;
    const uint8_t* start = fat;
    if (offset + 3 <= sizeof(head)) {
      start = head + offset;
    } else {
      consistent = ReadHead(device, static_cast<int64_t>(reserved) * (kSectorBytes / d), d, 3, fat);
    }
    consistent = consistent && start[0] == media && start[1] == 0xFF && start[2] == 0xFF;
  }
  if (consistent) {
    info->sectorsPerCluster = static_cast<uint16_t>(sectorsPerCluster);
    info->partitionSectors = static_cast<int32_t>(total);
    info->fatStart = static_cast<int32_t>(reserved);
    info->fatSectors = static_cast<int32_t>(fatSectors);
    info->fatCount = static_cast<uint16_t>(fats);
    info->rootBytes = static_cast<int32_t>(rootEntries) * 32;
  } else if (bytes >= kStandardBytes && head[kSectorBytes] == kStandardMedia &&
             head[kSectorBytes + 1] == 0xFF && head[kSectorBytes + 2] == 0xFF) {
    info->sectorsPerCluster = 1;
    info->partitionSectors = kStandardTotal;
    info->fatStart = kStandardReserved;
    info->fatSectors = kStandardFatSectors;
    info->fatCount = kStandardFats;
    info->rootBytes = kStandardRootEntries * 32;
  } else {
    return false;
  }
  info->rootStart = info->fatStart + info->fatCount * info->fatSectors;
  return true;
}
