#ifndef VOLUME_PC_FAT_VOLUME_H_
#define VOLUME_PC_FAT_VOLUME_H_

#include "volume/human_volume.h"

// Media that start with a PC boot sector (0xEB at byte 0, 0x55 0xAA at 510) and hold one
// FAT12 or FAT16 volume covering the whole medium. Numbers are little-endian. FAT32 media
// (sectors per FAT 0 at byte 22) are not read.
class PcFatVolume : public HumanVolume {
 public:
  // A volume that only answers Recognize and Create.
  PcFatVolume();
  // A volume bound to `device`, which must outlive it.
  explicit PcFatVolume(SectorDevice* device);

  // 0 also for a FAT32 medium.
  int Recognize(SectorDevice* device) override;
  std::unique_ptr<HumanVolume> Create(SectorDevice* device) override;
  // One record at most: the medium is one partition.
  int ReadPartitionTable(PartitionInfo* table, int capacity) override;
  // Decides the FAT's width by the Microsoft rule, then mounts: fewer than 4085 data
  // clusters ((total sectors - first data sector) / sectors per cluster, the root taking
  // whole sectors) make a 12-bit FAT, more a 16-bit one. A boot sector that records no
  // total makes a 16-bit FAT.
  int Mount() override;
  // Appends the second name part only when byte 12 is above 0x20.
  const uint8_t* DecodeDirEntry(const uint8_t* entry, FindResult* out) override;
};

#endif  // VOLUME_PC_FAT_VOLUME_H_
