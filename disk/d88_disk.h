#ifndef DISK_D88_DISK_H_
#define DISK_D88_DISK_H_

#include <array>
#include <cstdint>
#include <vector>

#include "disk/container_disk.h"
#include "disk/floppy_image_format.h"
#include "platform/raw_drive.h"

// The disks of a D88 (D68) image file, one after another (the layout is in
// disk/floppy_image_format.h); Seek and Read reach the one selected, the first at first.
//
// A disk's geometry comes from the sectors found. A sector has a valid size when its size
// code N is at most 7 and its data size is 128 << N. The sector size is that of the first
// sector of a valid size, numbered from 1, in the first track that has one; the sectors
// per track are the highest number R of that size in that track; the cylinders reach the
// last track of the track table (two heads). Sector R of a track is found by its number,
// whatever the order of storing (the first stored under a number is the one read); it
// cannot be read when it is not stored, when it has another size, or when its status is a
// CRC error or a missing mark. A sector with a deleted-data mark reads as data. A disk
// without any sector of a valid size has no sectors (capacity 0, 1024-byte sectors).
class D88Disk final : public ContainerDisk {
 public:
  // The most disks of one file that are read; later ones are ignored.
  static constexpr size_t kMostDisks = 256;

  // `file` must outlive this disk; `fileSize` is its size in bytes.
  D88Disk(platform::RawDrive* file, uint64_t fileSize);

  // "D88 Floppy Image"
  const char* Describe() override;
  // The disks whose headers agree with the file, counted from the first until one does
  // not (at most kMostDisks).
  int DiskCount() override;
  // Reads disk `index`'s tracks to lay it out. Reading a track's sectors stops at the
  // track's end; a sector header that cannot be read ends the track.
  int SelectDisk(int index) override;

  // Reads the disk headers. True when the first one agrees with the file (its size lies
  // within the file and covers its header; its media type is 2D, 2DD or 2HD; at least one
  // track is stored; every track offset is at least 0x2A0 and leaves a sector header
  // before the end of the disk), the first disk then selected; false leaves a medium of no
  // disks and no sectors.
  bool Recognize();

 private:
  struct DiskHeader {
    uint64_t start = 0;                               // byte offset of the header in the file
    uint32_t size = 0;                                // bytes, header included
    std::array<uint32_t, kD88TrackEntries> tracks{};  // from `start`; 0: not stored
  };

  // The header of the disk at `start`, if it agrees with the file.
  bool ReadDiskHeader(uint64_t start, DiskHeader* header);

  std::vector<DiskHeader> disks;
};

#endif  // DISK_D88_DISK_H_
