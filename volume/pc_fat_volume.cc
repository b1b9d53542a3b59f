#include "volume/pc_fat_volume.h"

#include <new>

#include "platform/byte_order.h"

PcFatVolume::PcFatVolume() { SetOptions(7); }

PcFatVolume::PcFatVolume(SectorDevice* device) {
  SetOptions(7);
  this->device = device;
}

int PcFatVolume::Recognize(SectorDevice* device) {
  uint8_t head[4096] = {};
  int32_t d = 0;
  if (!ReadMediaHead(device, head, &d)) return 0;
  // A FAT32 boot sector records its FAT size elsewhere and leaves the 16-bit field zero.
  return head[0] == 0xEB && head[510] == 0x55 && head[511] == 0xAA &&
                 platform::LoadLe16(head + 22) != 0
             ? 1
             : 0;
}

std::unique_ptr<HumanVolume> PcFatVolume::Create(SectorDevice* device) {
  return std::unique_ptr<HumanVolume>(new (std::nothrow) PcFatVolume(device));
}

int PcFatVolume::ReadPartitionTable(PartitionInfo* table, int capacity) {
  uint8_t head[4096] = {};
  int32_t d = 0;
  if (!ReadMediaHead(device, head, &d)) return 0;
  if (capacity < 1) return 0;

  PartitionInfo& info = table[0];
  info = PartitionInfo();
  // Only the high byte of the bytes-per-sector field is used: sector sizes are multiples
  // of 256.
  info.sectorSize = static_cast<uint16_t>(head[12] * 256);
  if (info.sectorSize < d) return 0;
  if (info.sectorSize > d) sectorMultiplier = info.sectorSize / d;
  info.sectorsPerCluster = head[13];
  info.startSector = 0;
  const uint16_t smallTotal = platform::LoadLe16(head + 19);
  info.partitionSectors =
      smallTotal != 0 ? smallTotal : static_cast<int32_t>(platform::LoadLe32(head + 32));
  info.fatStart = platform::LoadLe16(head + 14);
  info.fatCount = head[16];
  info.fatSectors = platform::LoadLe16(head + 22);
  info.rootStart = info.fatStart + info.fatCount * info.fatSectors;
  info.rootBytes = static_cast<int32_t>(platform::LoadLe16(head + 17)) * 32;
  info.reserved = 0;
  return 1;
}

int PcFatVolume::Mount() {
  fatBits = 16;
  if (partitionSectors > 0 && sectorSize != 0 && sectorsPerCluster != 0) {
    const int64_t dataStart = static_cast<int64_t>(rootStart) +
                              (static_cast<int64_t>(rootBytes) + sectorSize - 1) / sectorSize;
    const int64_t clusters =
        partitionSectors > dataStart ? (partitionSectors - dataStart) / sectorsPerCluster : 0;
    if (clusters < Fat16LeastClusters) fatBits = 12;
  }
  return HumanVolume::Mount();
}

const uint8_t* PcFatVolume::DecodeDirEntry(const uint8_t* entry, FindResult* out) {
  return DecodeEntry(entry, out, true);
}
