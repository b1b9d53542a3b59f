#ifndef VOLUME_X68K_SCSI_VOLUME_H_
#define VOLUME_X68K_SCSI_VOLUME_H_

#include "volume/human_volume.h"

// X68000 SCSI-format media: the "X68SCSI1" label at byte 0, the "X68K" partition table at
// byte 2048 with up to 15 "Human68k" entries from byte 2064, and a Human68k boot sector
// at the start of each partition. Table entries, boot sectors and the FAT store their
// numbers big-endian; directory entries are little-endian.
class X68kScsiVolume : public HumanVolume {
 public:
  // A volume that only answers Recognize and Create.
  X68kScsiVolume();
  // A volume bound to `device`, which must outlive it.
  explicit X68kScsiVolume(SectorDevice* device);

  int Recognize(SectorDevice* device) override;
  std::unique_ptr<HumanVolume> Create(SectorDevice* device) override;
  int ReadPartitionTable(PartitionInfo* table, int capacity) override;
  // The FAT entry byte-swapped: the FAT of these media is big-endian.
  uint16_t NextCluster(uint32_t cluster) override;
};

#endif  // VOLUME_X68K_SCSI_VOLUME_H_
