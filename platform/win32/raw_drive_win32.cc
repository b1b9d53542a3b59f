#include <cstdint>
#include <memory>

#include "platform/raw_drive.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

using win32::ScopedHandle;

// A physical drive ("\\.\PHYSICALDRIVE3") or an image file opened for reading. The
// position is the handle's file pointer, moved with 64-bit distances so that drives and
// images beyond 4 GiB are reached whole.
class Win32RawDrive final : public RawDrive {
 public:
  explicit Win32RawDrive(HANDLE handle) : handle(handle) {}

  bool Seek(int64_t distance, MoveMethod method, uint64_t* newPosition) override {
    LARGE_INTEGER move;
    move.QuadPart = distance;
    LARGE_INTEGER result;
    // The move methods carry the values of FILE_BEGIN, FILE_CURRENT and FILE_END.
    if (!SetFilePointerEx(handle.Get(), move, &result, static_cast<DWORD>(method))) {
      return Fail();
    }
    *newPosition = static_cast<uint64_t>(result.QuadPart);
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
    // ReadFile may return fewer bytes than asked before the end; only 0 means the end.
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
      DWORD got = 0;
      if (!ReadFile(handle.Get(), out + done, length - done, &got, nullptr)) {
        *bytesRead = done;
        return Fail();
      }
      if (got == 0) break;
      done += got;
    }
    *bytesRead = done;
    return true;
  }

  int LastError() override { return static_cast<int>(lastError); }

 private:
  bool Fail() {
    lastError = GetLastError();
    return false;
  }

  ScopedHandle handle;
  DWORD lastError = 0;
};

class Win32RawDriveService final : public RawDriveService {
 public:
  std::unique_ptr<RawDrive> Open(const char* name, int* systemError) override {
    // Read access only. Others may keep writing to the drive (FILE_SHARE_WRITE), which a
    // mounted drive needs; read sharing is not asked for.
    HANDLE handle =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
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
