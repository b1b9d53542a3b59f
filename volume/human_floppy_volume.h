#ifndef VOLUME_HUMAN_FLOPPY_VOLUME_H_
#define VOLUME_HUMAN_FLOPPY_VOLUME_H_

#include "volume/human_volume.h"

// Human68k floppy disks (2HD: 77 cylinders x 2 heads x 8 sectors of 1024 bytes), as raw
// images (.XDF, .HDM, .2HD, .DUP: the sectors in cylinder, head, sector order, so sector n
// at byte n x 1024) or as the disks of a container device. The whole disk is one volume
// with a 12-bit FAT, packed as MS-DOS packs it; directory entries are those of the other
// X68000 media.
//
// Sector 0 is the boot sector: a 68000 branch (0x60) at byte 0 and, on disks the machine
// formats, "Hudson soft 2.00" at byte 2. Its BPB is inferred to be the one of the X68000
// partition boot sector, big-endian: bytes per sector at 18 (2 bytes), sectors per cluster
// at 20, FATs at 21, reserved sectors at 22 (2), root entries at 24 (2), total sectors at 26
// (2), the media byte at 28 and sectors per FAT at 29. The standard 2HD layout is 1 reserved
// sector, 2 FATs of 2 sectors, 192 root entries, one sector per cluster: cluster 2 at
// sector 11, 1221 clusters, the FAT starting 0xFE 0xFF 0xFF.
//
// A disk is read when its sector 0 starts with 0x60, its size is a whole number of 8 KiB
// tracks up to 85 cylinders, and either the BPB is consistent (1024-byte sectors, a layout
// whose FAT holds every cluster of fewer than 4085 and whose total fits the disk, the FAT
// starting with the media byte, 0xFF, 0xFF at the sector the BPB names) or, on a disk of
// 77 cylinders or more whose sector 1 starts 0xFE 0xFF 0xFF, the standard layout applies.
class HumanFloppyVolume : public HumanVolume {
 public:
  // A volume that only answers Recognize and Create.
  HumanFloppyVolume();
  // A volume bound to `device`, which must outlive it.
  explicit HumanFloppyVolume(SectorDevice* device);

  // 1 when a disk of the device is read as above. Leaves disk 0 selected.
  int Recognize(SectorDevice* device) override;
  std::unique_ptr<HumanVolume> Create(SectorDevice* device) override;
  // One record per disk of the device (SectorDevice::DiskCount), in order, `disk` naming
  // it; a disk that is not read as above has bootUnreadable set. 0 when no disk is read.
  // Leaves the last disk it looked at selected.
  int ReadPartitionTable(PartitionInfo* table, int capacity) override;

 private:
  // Fills `info` (but its `disk`) from the device's selected disk; false when the disk is
  // not read as above.
  bool ReadDisk(SectorDevice* device, PartitionInfo* info);
};

#endif  // VOLUME_HUMAN_FLOPPY_VOLUME_H_
