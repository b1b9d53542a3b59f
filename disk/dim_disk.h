#ifndef DISK_DIM_DISK_H_
#define DISK_DIM_DISK_H_

#include <cstdint>

#include "disk/container_disk.h"
#include "platform/raw_drive.h"

// A floppy disk in a DIM image file (the layout is in disk/floppy_image_format.h). The
// media type names the geometry offered: 2HD is 8 sectors of 1024 bytes per track; the
// disk has 77 cylinders, or as many more as its stored tracks reach. The sectors of a track
// the file does not store, or that lie past its end, cannot be read.
class DimDisk final : public ContainerDisk {
 public:
  // `file` must outlive this disk; `fileSize` is its size in bytes.
  DimDisk(platform::RawDrive* file, uint64_t fileSize);

  // "DIM Floppy Image"
  const char* Describe() override;

  // Reads the header. True when the file is a DIM of a known media type, the disk then
  // laid out; false leaves a disk of no sectors.
  bool Recognize();
};

#endif  // DISK_DIM_DISK_H_
