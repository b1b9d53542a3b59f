#ifndef DISK_SECTOR_DEVICE_H_
#define DISK_SECTOR_DEVICE_H_

#include <cstdint>

#include "disk/drive_name.h"

// Geometry of a sector device, passed by value in both directions.
struct DeviceGeometry {
  int32_t bytesPerSector;
  int32_t capacity;
  int32_t baseSector;
};

// Device error codes. Bit 29 keeps them apart from operating-system error codes, which
// some back ends record in the same place.
constexpr int32_t DeviceErrorUnsupported = 0x20000001;
constexpr int32_t DeviceErrorRead = 0x20000002;
constexpr int32_t DeviceErrorOpen = 0x20000003;

// A read-only, sector-addressed device. Operations that can fail return 0 (or a
// non-negative value) on success and -1 on failure, after recording one code with
// SetError. Single-threaded: nothing here is locked.
//
// The order of the virtual operations is part of the interface; every implementation
// keeps it.
class SectorDevice {
 public:
  SectorDevice() = default;
  SectorDevice(const SectorDevice&) = delete;
  SectorDevice& operator=(const SectorDevice&) = delete;

  virtual ~SectorDevice();

  // A constant text naming the kind of device.
  virtual const char* Describe() = 0;
  // Opens the device named by SetName. Mode 1 (write access) is refused with
  // DeviceErrorUnsupported by every implementation. 0 opened, -1 failed.
  virtual int Open(int mode) = 0;
  virtual int Close() = 0;
  // Reads `count` sectors of bytesPerSector bytes at the current position into `buffer`,
  // which must hold them all, and leaves the position after them. 0, or -1 with
  // DeviceErrorRead.
  virtual int Read(void* buffer, unsigned count) = 0;
  // Always -1 with DeviceErrorUnsupported: nothing is ever written to a disk. No
  // implementation overrides it.
  virtual int Write(const void* buffer, unsigned count);
  // Origin 0 positions at `sector` + baseSector. A value each back end defines, -1 on failure.
  virtual int Seek(int sector, int origin) = 0;
  virtual DeviceGeometry GetGeometry();
  virtual void SetGeometry(DeviceGeometry geometry);
  // Always -1 with DeviceErrorUnsupported.
  virtual int Reserved();
  // Stores the drive name that Open will use. The text is copied (see DriveName). The base
  // version keeps it in `name` and returns 0.
  virtual int SetName(const char* text);
  virtual const char* GetName();
  // Records `code` in errorCode and the operating system's current last-error value
  // (errno on POSIX) in systemError.
  virtual void SetError(int code);
  virtual int GetError();
  virtual int GetSystemError();
  // Read, for rescuing a failing disk sector by sector: where the back end can, past any
  // cache of the operating system, so that one bad sector does not fail its neighbours
  // read with it. Same contract as Read; the base version is Read.
  virtual int ReadRescue(void* buffer, unsigned count);
  // How many disks the medium holds one after another (a D88 file may hold several); the base
  // version answers 1.
  virtual int DiskCount();
  // Makes disk `index` (0 the first) the one Seek and Read reach, with its own geometry: 0, or -1
  // with DeviceErrorUnsupported when there is no such disk. The base version accepts only 0.
  virtual int SelectDisk(int index);

 protected:
  int32_t bytesPerSector = 0;
  int32_t capacity = 0;
  int32_t baseSector = 0;
  int32_t errorCode = 0;
  int32_t systemError = 0;
  DriveName name;
};

#endif  // DISK_SECTOR_DEVICE_H_
