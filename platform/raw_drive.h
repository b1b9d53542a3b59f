#ifndef PLATFORM_RAW_DRIVE_H_
#define PLATFORM_RAW_DRIVE_H_

#include <cstdint>
#include <memory>

namespace platform {

// Where a RawDrive::Seek distance counts from. The values are those of the Win32 move
// methods FILE_BEGIN, FILE_CURRENT and FILE_END.
enum class MoveMethod { kBegin = 0, kCurrent = 1, kEnd = 2 };

// A whole drive or an image file opened read-only, with a byte position of its own.
// Every operation that fails returns false and leaves the system error of the failure in
// LastError(); nothing is ever written to the drive. Closed when destroyed.
class RawDrive {
 public:
  RawDrive() = default;
  RawDrive(const RawDrive&) = delete;
  RawDrive& operator=(const RawDrive&) = delete;
  virtual ~RawDrive() = default;

  // Moves the position `distance` bytes from `method`'s origin. True and the new position
  // in *newPosition; false leaves the position where it was (a result before byte 0 is a
  // failure).
  virtual bool Seek(int64_t distance, MoveMethod method, uint64_t* newPosition) = 0;
  // The drive's logical sector size in bytes. False where the drive has none to report
  // (an image file, for instance).
  virtual bool GetSectorSize(uint32_t* bytesPerSector) = 0;
  // Reads up to `length` bytes at the position into `buffer` and moves the position past
  // them. True with *bytesRead = length, or fewer when the drive ends first; false on a
  // transfer failure, with *bytesRead the bytes that did arrive.
  virtual bool Read(void* buffer, uint32_t length, uint32_t* bytesRead) = 0;
  // The system error of the last failed operation (errno, GetLastError()).
  virtual int LastError() = 0;
  // Read, past the operating system's cache where the drive allows it (a Linux block
  // device opened a second time with O_DIRECT): a buffered read fails the whole page
  // around one bad sector. Elsewhere, and where the drive refuses, the same as Read.
  virtual bool ReadUncached(void* buffer, uint32_t length, uint32_t* bytesRead) {
    return Read(buffer, length, bytesRead);
  }
};

// Opens raw drives by name: "\\.\PHYSICALDRIVE3" or an image file path on Windows NT,
// given as UTF-8 and opened by the wide call; a block device or an image file path on
// POSIX, given as the bytes of the file system.
class RawDriveService {
 public:
  RawDriveService() = default;
  RawDriveService(const RawDriveService&) = delete;
  RawDriveService& operator=(const RawDriveService&) = delete;
  virtual ~RawDriveService() = default;

  // Opens `name` read-only. The drive belongs to the caller and may outlive this service.
  // Null on failure, with the system error in *systemError.
  virtual std::unique_ptr<RawDrive> Open(const char* name, int* systemError) = 0;
};

// The service of the platform the program is built for.
std::unique_ptr<RawDriveService> NewSystemRawDriveService();

}  // namespace platform

#endif  // PLATFORM_RAW_DRIVE_H_
