#include <cstdint>
#include <memory>
#include <string>

#include "platform/raw_drive.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

using win32::ScopedHandle;

// A physical drive ("\\.\PHYSICALDRIVE3") or an image file opened for reading. The
// position is kept here, 64 bits wide so that drives and images beyond 4 GiB are reached
// whole, and every read names its offset in an OVERLAPPED record: a seek costs no call
// and a read one.
class Win32RawDrive final : public RawDrive {
 public:
  explicit Win32RawDrive(HANDLE handle) : handle(handle) {}

  bool Seek(int64_t distance, MoveMethod method, uint64_t* newPosition) override {
    int64_t origin = 0;
    if (method == MoveMethod::kCurrent) origin = static_cast<int64_t>(position);
    if (method == MoveMethod::kEnd) {
      LARGE_INTEGER zero;
      zero.QuadPart = 0;
      LARGE_INTEGER end;
      if (!SetFilePointerEx(handle.Get(), zero, &end, FILE_END)) return Fail();
      origin = end.QuadPart;
    }
    // A position before byte 0 is refused, as SetFilePointerEx refuses it.
    if ((distance < 0 && origin < -distance) || (distance > 0 && origin > INT64_MAX - distance)) {
      lastError = ERROR_NEGATIVE_SEEK;
      return false;
    }
    position = static_cast<uint64_t>(origin + distance);
    *newPosition = position;
    return true;
  }

  bool GetSectorSize(uint32_t* bytesPerSector) override {
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    if (!DeviceIoControl(handle.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                         sizeof geometry, &returned, nullptr)) {
      return Fail();
    }
    if (returned < sizeof geometry || geometry.BytesPerSector == 0) {
      lastError = ERROR_INVALID_DATA;
      return false;
    }
    *bytesPerSector = geometry.BytesPerSector;
    return true;
  }

  bool Read(void* buffer, uint32_t length, uint32_t* bytesRead) override {
    // ReadFile may return fewer bytes than asked before the end; 0 bytes, or
    // ERROR_HANDLE_EOF for a read at an offset past the end, means the end.
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    bool ok = true;
    while (done < length) {
      OVERLAPPED at{};
      const uint64_t offset = position + done;
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD got = 0;
      if (!ReadFile(handle.Get(), out + done, length - done, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        ok = Fail();
        break;
      }
      if (got == 0) break;
      done += got;
    }
    position += done;
    *bytesRead = done;
    return ok;
  }

  int LastError() override { return static_cast<int>(lastError); }

 private:
  bool Fail() {
    lastError = GetLastError();
    return false;
  }

  ScopedHandle handle;
  uint64_t position = 0;
  DWORD lastError = 0;
};

class Win32RawDriveService final : public RawDriveService {
 public:
  std::unique_ptr<RawDrive> Open(const char* name, int* systemError) override {
    // The name is UTF-8 (the programs take it from the UTF-16 command line): the wide call
    // opens a path of any characters, whatever the system's code page.
    std::wstring wide;
    if (!win32::Utf8ToWide(name, &wide)) {
      *systemError = static_cast<int>(GetLastError());
      return nullptr;
    }
    // Read access only. Others may keep writing to the drive (FILE_SHARE_WRITE), which a
    // mounted drive needs; read sharing is not asked for.
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *systemError = static_cast<int>(GetLastError());
      return nullptr;
    }
    return std::make_unique<Win32RawDrive>(handle);
  }
};

}  // namespace

std::unique_ptr<RawDriveService> NewSystemRawDriveService() {
  return std::make_unique<Win32RawDriveService>();
}

}  // namespace platform
