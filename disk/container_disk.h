#ifndef DISK_CONTAINER_DISK_H_
#define DISK_CONTAINER_DISK_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "disk/sector_device.h"
#include "platform/raw_drive.h"

// A floppy disk kept in an image container (DIM, D88): its sectors, numbered in cylinder,
// head, sector order, lie where a map of the file says, and some are not there at all or
// were stored as unreadable. Read through a RawDrive someone else opened and keeps open.
//
// Geometry: bytesPerSector is the container's sector size, capacity the sectors of the
// disk, baseSector 0 until SetGeometry sets it. SetGeometry takes only baseSector: the
// sector size and capacity are the container's.
//
// A Read fails as a whole, with DeviceErrorRead, when any sector it asks for lies beyond
// the disk or cannot be read (systemError 0 for a sector the container lacks or marks
// bad; the system error when the file itself fails). The position moves past the request
// either way, and a failed read leaves the buffer's contents unspecified.
class ContainerDisk : public SectorDevice {
 public:
  ~ContainerDisk() override;

  // The file is open already: 0, changing nothing. Mode 1 fails with
  // DeviceErrorUnsupported.
  int Open(int mode) override;
  // 0; the file stays with its owner.
  int Close() override;
  int Read(void* buffer, unsigned count) override;
  // Origin 0 from sector 0 plus baseSector, 1 from the position, 2 from the end of the
  // disk. Returns the new position in bytes from sector 0, or 0x7FFFFFFF for positions
  // beyond it. A position before sector 0 fails with DeviceErrorRead, the position kept;
  // an origin other than 0, 1 or 2 fails with DeviceErrorUnsupported.
  int Seek(int sector, int origin) override;
  // Stores geometry.baseSector only.
  void SetGeometry(DeviceGeometry geometry) override;
  // Read through the file's uncached path.
  int ReadRescue(void* buffer, unsigned count) override;

 protected:
  // Where a sector lies: its byte offset in the file, or kUnreadable.
  static constexpr int64_t kUnreadable = -1;

  // `file` must outlive this disk; `fileSize` is its size in bytes. The disk has no
  // sectors until SetLayout.
  ContainerDisk(platform::RawDrive* file, uint64_t fileSize);

  // Makes the disk `sectors.size()` sectors of `sectorBytes` bytes, sector i at
  // sectors[i], with baseSector 0 and the position at sector 0. Every offset given leaves
  // the whole sector inside the file.
  void SetLayout(int32_t sectorBytes, std::vector<int64_t> sectors);

  platform::RawDrive* const file;
  const uint64_t fileSize;

 private:
  int Transfer(void* buffer, unsigned count, bool uncached);

  std::vector<int64_t> sectorOffsets;
  int64_t position = 0;  // a sector number, never negative
};

// Reads exactly `length` bytes at byte `offset` of `file`, through its uncached path when
// `uncached`. False when the file cannot be positioned there or gives fewer bytes.
bool ReadFileAt(platform::RawDrive* file, uint64_t offset, void* buffer, uint32_t length,
                bool uncached = false);

// The container device for the image file `file` (which must outlive it): a DimDisk when
// the head of the file holds a DIM header, a D88Disk when it holds a D88 header that agrees
// with the file, null for anything else, which is a raw image. Leaves the file positioned
// at byte 0.
std::unique_ptr<SectorDevice> OpenContainerDisk(platform::RawDrive* file);

#endif  // DISK_CONTAINER_DISK_H_
