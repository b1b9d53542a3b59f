#include <cstdint>
#include <memory>
#include <string>

#include "platform/dos_date_time.h"
#include "platform/target_file_system.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

using win32::Cp932ToWide;
using win32::ScopedHandle;

// The attribute bits a copy may carry; every other bit is the system's own.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// WriteFile takes a 32-bit count; larger buffers go in pieces of this size.
constexpr size_t kLargestWrite = 1u << 30;

// Whether the packed words name a real date and time (DosDateTimeToFileTime does not
// check every field on every Windows version).
bool IsValidDosDateTime(DosDateTime stamp) {
  CalendarRecord clock;
  return UnpackDosDateTime(stamp.date, stamp.time, &clock);
}

class Win32TargetFile final : public TargetFile {
 public:
  Win32TargetFile(HANDLE handle, DWORD* lastError) : handle(handle), lastError(lastError) {}

  bool Write(const void* data, size_t length) override {
    const char* next = static_cast<const char*>(data);
    while (length > 0) {
      const DWORD piece = static_cast<DWORD>(length < kLargestWrite ? length : kLargestWrite);
      DWORD written = 0;
      if (!WriteFile(handle.Get(), next, piece, &written, nullptr)) {
        *lastError = GetLastError();
        return false;
      }
      if (written == 0) {
        *lastError = ERROR_DISK_FULL;
        return false;
      }
      next += written;
      length -= written;
    }
    return true;
  }

  bool Close() override {
    if (!handle.Valid()) return true;
    if (!handle.Close()) {
      *lastError = GetLastError();
      return false;
    }
    return true;
  }

 private:
  ScopedHandle handle;
  DWORD* lastError;
};

// Copies are written with the wide calls, their names converted from code page 932, so a
// Japanese name comes out right whatever the system's ANSI code page is.
class Win32TargetFileSystem final : public TargetFileSystem {
 public:
  std::unique_ptr<TargetFile> CreateFile(const std::string& path) override {
    std::wstring wide;
    if (!Widen(path, &wide)) return nullptr;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      lastError = GetLastError();
      return nullptr;
    }
    return std::make_unique<Win32TargetFile>(handle, &lastError);
  }

  bool MakeDirectory(const std::string& path) override {
    std::wstring wide;
    if (!Widen(path, &wide)) return false;
    if (!CreateDirectoryW(wide.c_str(), nullptr)) return Fail();
    return true;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    std::wstring wide;
    if (!Widen(path, &wide)) return false;
    DWORD value = attributes & kCopiedAttributes;
    // FILE_ATTRIBUTE_NORMAL is how the empty set is asked for.
    if (value == 0) value = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileAttributesW(wide.c_str(), value)) return Fail();
    return true;
  }

  bool SetFileTimes(const std::string& path, DosDateTime lastWrite) override {
    FILETIME written;
    if (!LocalStampToFileTime(lastWrite, &written)) return false;
    SYSTEMTIME nowFields;
    GetSystemTime(&nowFields);
    FILETIME now;
    if (!SystemTimeToFileTime(&nowFields, &now)) return Fail();
    std::wstring wide;
    if (!Widen(path, &wide)) return false;
    ScopedHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_ARCHIVE, nullptr));
    if (!file.Valid()) return Fail();
    if (!SetFileTime(file.Get(), &now, &now, &written)) return Fail();
    return true;
  }

  bool SetDirectoryTimes(const std::string& path, DosDateTime stamp) override {
    FILETIME time;
    if (!LocalStampToFileTime(stamp, &time)) return false;
    std::wstring wide;
    if (!Widen(path, &wide)) return false;
    // Only FILE_FLAG_BACKUP_SEMANTICS gives a handle on a directory.
    ScopedHandle directory(CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!directory.Valid()) return Fail();
    if (!SetFileTime(directory.Get(), &time, &time, &time)) return Fail();
    return true;
  }

  int LastError() const override { return static_cast<int>(lastError); }

 private:
  bool Fail() {
    lastError = GetLastError();
    return false;
  }

  bool Widen(const std::string& path, std::wstring* wide) {
    if (!Cp932ToWide(path, wide)) return Fail();
    return true;
  }

  // The stamp, a local clock reading, as a UTC file time.
  bool LocalStampToFileTime(DosDateTime stamp, FILETIME* out) {
    if (!IsValidDosDateTime(stamp)) {
      lastError = ERROR_INVALID_PARAMETER;
      return false;
    }
    FILETIME local;
    if (!DosDateTimeToFileTime(stamp.date, stamp.time, &local)) return Fail();
    if (!LocalFileTimeToFileTime(&local, out)) return Fail();
    return true;
  }

  DWORD lastError = 0;
};

}  // namespace

std::unique_ptr<TargetFileSystem> NewTargetFileSystem() {
  return std::make_unique<Win32TargetFileSystem>();
}

// Windows has no file-size signal: a write past a limit simply fails.
void KeepRunningPastFileSizeLimit() {}

bool ReadHostStamp(const std::string& path, DosDateTime* stamp, bool* readOnly) {
  std::wstring wide;
  if (!Cp932ToWide(path, &wide)) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
  FILETIME local;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToSystemTime(&local, &fields)) {
    return false;
  }
  if (fields.wYear < 1980) {
    *stamp = {static_cast<uint16_t>((1 << 5) | 1), 0};  // 1980-01-01 00:00:00
  } else if (fields.wYear > 2107) {
    *stamp = {static_cast<uint16_t>((127 << 9) | (12 << 5) | 31),
              static_cast<uint16_t>((23 << 11) | (59 << 5) | 29)};
  } else {
    stamp->date =
        static_cast<uint16_t>(((fields.wYear - 1980) << 9) | (fields.wMonth << 5) | fields.wDay);
    stamp->time =
        static_cast<uint16_t>((fields.wHour << 11) | (fields.wMinute << 5) | (fields.wSecond / 2));
  }
  *readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  return true;
}

}  // namespace platform
