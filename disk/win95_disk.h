#ifndef DISK_WIN95_DISK_H_
#define DISK_WIN95_DISK_H_

#include <cstdint>
#include <memory>

#include "disk/sector_device.h"
#include "platform/vwin32_port.h"

// The disk behind a Windows 95 drive letter ("A:"), read with MS-DOS generic block-device
// requests (interrupt 21h function 440Dh, category 08h) carried by the VWIN32 device:
// minor code 60h for the device parameters, 61h to read sectors by head, cylinder and
// sector.
//
// Geometry: bytesPerSector from the parameter block; capacity is hidden sectors plus the
// large sector count. The position is a sector number, 32 bits wide.
class Win95Disk : public SectorDevice {
 public:
  // `ports` must outlive this disk.
  explicit Win95Disk(platform::Vwin32Service* ports);
  ~Win95Disk() override;

  // "Physical Disk for Windows95(HDD/MO/...)"
  const char* Describe() override;
  // Opens VWIN32 and reads the drive's parameters. The name must be a letter A-Z (either
  // case) and a colon, at most 259 bytes in all, else DeviceErrorOpen. A VWIN32 device
  // that cannot be opened records its system error; parameters that cannot be read record
  // the system error (DeviceErrorOpen when there is none) and close the new handle; a
  // parameter block with 0 bytes per sector or 0 sectors per track fails with
  // DeviceErrorOpen. A failed Open leaves the earlier handle and drive as they were.
  int Open(int mode) override;
  // 0, or -1 recording nothing when nothing is open. Drive, position and parameters stay.
  int Close() override;
  // Reads in requests of at most one track's worth of sectors, each starting at the
  // position. A failing request, or a position whose cylinder, head or sector does not
  // fit 16 bits, records DeviceErrorRead; the sectors before it stay in `buffer`.
  int Read(void* buffer, unsigned count) override;
  // Origin 0: sector + baseSector; 1: relative to the position; 2: relative to hidden
  // sectors + large sector count; any other: sector. Returns the new position; never fails.
  int Seek(int sector, int origin) override;

  static constexpr size_t kParameterBytes = platform::kVwin32ParameterBytes;

 private:
  struct TrackAddress {
    uint32_t cylinder;
    uint32_t head;
    uint32_t sector;
  };

  // The track address of `sector` under the parameter block's geometry.
  TrackAddress ToTrackAddress(uint32_t sector) const;
  // One read-track request of `count` sectors at `position`: 0, or -1 with DeviceErrorRead.
  int ReadChunk(uint8_t* buffer, uint32_t count);
  uint32_t SectorsPerTrack() const;
  uint32_t Heads() const;
  uint32_t EndSector() const;

  int32_t drive = 0;
  std::unique_ptr<platform::Vwin32Port> vwin32;  // null when closed
  uint32_t position = 0;
  uint8_t deviceParams[kParameterBytes] = {};
  platform::Vwin32Service* const ports;
};

#endif  // DISK_WIN95_DISK_H_
