#ifndef PLATFORM_TARGET_FILE_SYSTEM_H_
#define PLATFORM_TARGET_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Attribute bits a copy can carry, with the values of the Windows FILE_ATTRIBUTE_* bits
// and of the low bits of a directory entry's attribute byte.
constexpr uint32_t TargetAttributeReadOnly = 0x01;
constexpr uint32_t TargetAttributeHidden = 0x02;
constexpr uint32_t TargetAttributeSystem = 0x04;
constexpr uint32_t TargetAttributeArchive = 0x20;

// The separator the target paths are joined with.
#if defined(_WIN32)
constexpr char TargetSeparator = '\\';
#else
constexpr char TargetSeparator = '/';
#endif

// A wall-clock reading as MS-DOS stores it: packed date (year - 1980, month, day) and
// packed time (hour, minute, seconds / 2). It names local time of the host: whoever
// turns it into an instant takes the host's time zone.
struct DosDateTime {
  uint16_t date = 0;
  uint16_t time = 0;
};

// One file opened for writing by TargetFileSystem::CreateFile. Destroying it closes it
// (a failure of that close is not reported: call Close to learn of it).
class TargetFile {
 public:
  TargetFile() = default;
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;
  virtual ~TargetFile() = default;

  // Writes all `length` bytes; false when any of them could not be written (the file
  // then holds what was written before the failure). TargetFileSystem::LastError tells why.
  virtual bool Write(const void* data, size_t length) = 0;
  // Closes the file; false when the system reports that data may not have reached the
  // file. Further calls do nothing and return true.
  virtual bool Close() = 0;
};

// The host file system that copies are written to. Paths are host text with '/' as the
// separator (the Windows implementation accepts '/' too). Failing operations change
// nothing that is not said below and leave the system's error in LastError.
//
// Abstract so it can be faked in tests; the real implementations are one per platform.
class TargetFileSystem {
 public:
  TargetFileSystem() = default;
  TargetFileSystem(const TargetFileSystem&) = delete;
  TargetFileSystem& operator=(const TargetFileSystem&) = delete;
  virtual ~TargetFileSystem() = default;

  // Creates the file, or empties an existing one (Windows CREATE_ALWAYS), for writing.
  // Null on failure.
  virtual std::unique_ptr<TargetFile> CreateFile(const std::string& path) = 0;
  // Makes one directory; false when it cannot, also when it exists already.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Gives the file or directory the read-only, hidden and system bits of `attributes`
  // (TargetAttribute*). On POSIX read-only clears the write permission bits and a clear
  // read-only bit changes nothing; hidden, system and archive have no counterpart there.
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // Sets the times of a copied file: last write = `lastWrite` taken as local time,
  // last access (and creation, where it exists) = now. False when the file cannot be
  // reached or `lastWrite` is not a valid date and time (nothing is changed then).
  virtual bool SetFileTimes(const std::string& path, DosDateTime lastWrite) = 0;
  // The same for a directory, whose times all take `stamp` as local time.
  virtual bool SetDirectoryTimes(const std::string& path, DosDateTime stamp) = 0;
  // The system's error number of the last failure (errno, or GetLastError on Windows).
  virtual int LastError() const = 0;
};

// The host's file system.
std::unique_ptr<TargetFileSystem> NewTargetFileSystem();

// Makes a write past the process's file-size limit fail with an error instead of ending
// the process (on POSIX SIGXFSZ is ignored; Windows has no such signal).
void KeepRunningPastFileSizeLimit();

// Stamp and read-only bit of an existing host file or directory, for building images
// from host folders: the modification time as local time of the host (seconds rounded
// down to even), clamped to the MS-DOS range 1980-2107. False when `path` cannot be read.
bool ReadHostStamp(const std::string& path, DosDateTime* stamp, bool* readOnly);

}  // namespace platform

#endif  // PLATFORM_TARGET_FILE_SYSTEM_H_
