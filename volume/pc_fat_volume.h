#ifndef VOLUME_PC_FAT_VOLUME_H_
#define VOLUME_PC_FAT_VOLUME_H_

#include "volume/human_volume.h"

// Media that start with a PC boot sector (0xEB at byte 0, 0x55 0xAA at 510) and hold one
// FAT16 volume covering the whole medium. Numbers are little-endian.
class PcFatVolume : public HumanVolume {
 public:
  // A volume that only answers Recognize and Create.
  PcFatVolume();
  // A volume bound to `device`, which must outlive it.
  explicit PcFatVolume(SectorDevice* device);

  int Recognize(SectorDevice* device) override;
  std::unique_ptr<HumanVolume> Create(SectorDevice* device) override;
  // One record at most: the medium is one partition.
  int ReadPartitionTable(PartitionInfo* table, int capacity) override;
  // Appends the second name part only when byte 12 is above 0x20.
  const uint8_t* DecodeDirEntry(const uint8_t* entry, FindResult* out) override;
};

#endif  // VOLUME_PC_FAT_VOLUME_H_
