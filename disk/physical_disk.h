#ifndef DISK_PHYSICAL_DISK_H_
#define DISK_PHYSICAL_DISK_H_

#include <cstdint>
#include <memory>

#include "disk/aspi_disk.h"
#include "disk/nt_disk.h"
#include "disk/sector_device.h"
#include "disk/win95_disk.h"
#include "platform/aspi_library.h"
#include "platform/platform_family.h"
#include "platform/raw_drive.h"
#include "platform/vwin32_port.h"

// The back end a PhysicalDisk forwards to.
enum DeviceMode : int32_t {
  DeviceModeNone = 0,
  DeviceModeNt = 1,
  DeviceModeWin95 = 2,
  DeviceModeAspi = 3,
};

// The device the programs open: it holds one of each back end and forwards to the one
// the platform family and the drive name select. The NT family reads drive paths through
// NtDisk, the Windows 95 family drive letters through Win95Disk; a name that starts with
// a digit ("0:3:0") selects AspiDisk on any platform, for good.
//
// An image file that NtDisk opens is looked at once open: a DIM or D88 image container
// (see OpenContainerDisk) is then read through its container device, which answers
// Describe, Read, ReadRescue, Seek, the geometry and the disk selection until the next
// Open or Close; any other file reads as raw sectors.
//
// Errors a back end records stay in that back end: GetError here reports only what the
// PhysicalDisk recorded itself (DeviceErrorUnsupported when there is no back end).
class PhysicalDisk : public SectorDevice {
 public:
  // Every service must outlive this disk. The mode follows `family`'s answer.
  PhysicalDisk(platform::RawDriveService* drives, platform::AspiLibrary* aspi,
               platform::Vwin32Service* vwin32, platform::PlatformFamilyQuery* family);
  ~PhysicalDisk() override;

  // The back end's text, or "Physical Disk(HDD/MO/...)" without one.
  const char* Describe() override;
  int Open(int mode) override;
  int Close() override;
  int Read(void* buffer, unsigned count) override;
  int Seek(int sector, int origin) override;
  // Without a back end: DeviceErrorUnsupported and {0, 0, 0}.
  DeviceGeometry GetGeometry() override;
  // Without a back end: DeviceErrorUnsupported, nothing stored.
  void SetGeometry(DeviceGeometry geometry) override;
  // A name whose first byte is an ASCII digit switches to AspiDisk; then the name goes to
  // the back end. Without a back end: -1 with DeviceErrorUnsupported, the name not kept.
  int SetName(const char* name) override;
  // Without a back end: DeviceErrorUnsupported and "Unknown Physical Disk Mode".
  const char* GetName() override;
  int ReadRescue(void* buffer, unsigned count) override;
  // Without a back end: 0 with DeviceErrorUnsupported.
  int DiskCount() override;
  // Without a back end: -1 with DeviceErrorUnsupported.
  int SelectDisk(int index) override;

  DeviceMode Mode() const { return mode; }

 private:
  // The active back end, or null.
  SectorDevice* Active();
  // What reads the medium: the container device over the back end's image file, if there
  // is one; else the active back end, or null.
  SectorDevice* Reader();

  DeviceMode mode = DeviceModeNone;
  NtDisk ntDisk;
  AspiDisk aspiDisk;
  Win95Disk win95Disk;
  std::unique_ptr<SectorDevice> container;  // reads ntDisk's open image file
};

#endif  // DISK_PHYSICAL_DISK_H_
