#include "volume/x68k_scsi_volume.h"

#include <cstring>
#include <new>

#include "platform/byte_order.h"

namespace {

constexpr size_t kLabelOffset = 0;
constexpr size_t kTableOffset = 2048;
constexpr size_t kFirstEntryOffset = 2064;
constexpr size_t kEntrySize = 16;
constexpr size_t kHeadSize = 4096;
// The partition boot record's fields end at byte 29 (sectors per FAT).
constexpr size_t kBootRecordBytes = 30;

}  // namespace

X68kScsiVolume::X68kScsiVolume() { SetOptions(7); }

X68kScsiVolume::X68kScsiVolume(SectorDevice* device) {
  SetOptions(7);
  this->device = device;
}

int X68kScsiVolume::Recognize(SectorDevice* device) {
  uint8_t head[kHeadSize] = {};
  int32_t d = 0;
  if (!ReadMediaHead(device, head, &d)) return 0;
  return std::memcmp(head + kLabelOffset, "X68SCSI1", 8) == 0 &&
                 std::memcmp(head + kTableOffset, "X68K", 4) == 0
             ? 1
             : 0;
}

std::unique_ptr<HumanVolume> X68kScsiVolume::Create(SectorDevice* device) {
  return std::unique_ptr<HumanVolume>(new (std::nothrow) X68kScsiVolume(device));
}

int X68kScsiVolume::ReadPartitionTable(PartitionInfo* table, int capacity) {
  uint8_t head[kHeadSize] = {};
  int32_t d = 0;
  if (!ReadMediaHead(device, head, &d)) return 0;
  if (std::memcmp(head + kTableOffset, "X68K", 4) != 0) return 0;

  int count = 0;
  for (size_t offset = kFirstEntryOffset; offset + kEntrySize <= kHeadSize; offset += kEntrySize) {
    const uint8_t* entry = head + offset;
    if (entry[0] == 0) return count;
    if (std::memcmp(entry, "Human68k", 8) != 0) return 0;  // the whole table is rejected
    if (capacity < 1) return count;

    // Partition start in 1024-byte units; the top byte of the field is not part of it.
    // Positions are 64-bit: the field reaches 16 GiB.
    const int64_t kb = Swap32(platform::LoadLe32(entry + 8)) & 0x00FFFFFF;
    const int64_t ds = kb * 1024 / d;

    uint8_t boot[kHeadSize] = {};
    PartitionInfo& info = table[count];
    info = PartitionInfo();
    // A partition whose boot record (the fields up to byte 29) cannot be read has no
    // geometry; the others stay readable.
    if (!ReadHead(device, ds, d, kBootRecordBytes, boot)) {
      info.bootUnreadable = true;
      ++count;
      --capacity;
      continue;
    }
    info.sectorSize = platform::LoadBe16(boot + 18);
    if (info.sectorSize < d) return 0;
    if (info.sectorSize > d) sectorMultiplier = info.sectorSize / d;
    info.sectorsPerCluster = boot[20];
    info.startSector = static_cast<int32_t>(ds * d / info.sectorSize);
    info.partitionSectors = 0;
    info.fatStart = static_cast<int32_t>(static_cast<int64_t>(platform::LoadBe16(boot + 22)) *
                                         1024 / info.sectorSize);
    info.fatCount = boot[21];
    info.fatSectors = boot[29];
    info.rootStart = info.fatStart + info.fatCount * info.fatSectors;
    info.rootBytes = static_cast<int32_t>(platform::LoadBe16(boot + 24)) * 32;
    info.reserved = 0;

    ++count;
    --capacity;
  }
  return count;
}

uint16_t X68kScsiVolume::NextCluster(uint32_t cluster) {
  return Swap16(HumanVolume::NextCluster(cluster));
}
