#ifndef DISK_NT_DISK_H_
#define DISK_NT_DISK_H_

#include <memory>

#include "disk/sector_device.h"
#include "platform/raw_drive.h"

// A whole drive read through a raw-drive path opened as a file: "\\.\PHYSICALDRIVE3" on
// Windows NT; a block device ("/dev/sdb", a loop device) or an image file on POSIX.
//
// Geometry: bytesPerSector is the drive's logical sector size, or 512 where the drive
// reports none (image files); capacity is the low 32 bits of the drive's size in bytes
// (0xFFFFFFFF when the end cannot be found). Positions are bytes held by the open drive,
// 64 bits wide, so drives beyond 2 GiB read whole.
//
// Failures to open or position record the system error itself as the error code (with
// the same value as systemError); a failed or short read records DeviceErrorRead.
class NtDisk : public SectorDevice {
 public:
  // `drives` must outlive this disk.
  explicit NtDisk(platform::RawDriveService* drives);
  ~NtDisk() override;

  // "Physical Disk for WindowsNT(HDD/MO/...)"
  const char* Describe() override;
  // Opens the named drive read-only. An empty name, or one longer than 259 bytes, fails
  // with DeviceErrorOpen before the platform is asked. A drive that is already open is
  // closed first.
  int Open(int mode) override;
  // 0, or -1 recording nothing when nothing is open.
  int Close() override;
  // One transfer of count x bytesPerSector bytes; anything short of that fails.
  int Read(void* buffer, unsigned count) override;
  // Origin 0 from the start of the drive (plus baseSector), 1 from the position, 2 from
  // the end. Returns the new byte position, or 0x7FFFFFFF for positions beyond it.
  int Seek(int sector, int origin) override;
  // Read through the drive's uncached path where it has one.
  int ReadRescue(void* buffer, unsigned count) override;

  // The open drive when it reported no sector size (an image file), for a reader of image
  // containers to read through; null otherwise. Valid until the next Open or Close.
  platform::RawDrive* ImageFile();

 private:
  // One transfer of count x bytesPerSector bytes, cached or not.
  int Transfer(void* buffer, unsigned count, bool uncached);

  // Records a platform failure: the system error as the code, or `fallback` when the
  // platform gave none.
  void RecordSystemError(int error, int fallback);

  std::unique_ptr<platform::RawDrive> handle;  // null when closed
  bool imageFile = false;                      // the drive reported no sector size
  platform::RawDriveService* const drives;
};

#endif  // DISK_NT_DISK_H_
