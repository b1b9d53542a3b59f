#ifndef PLATFORM_WIN32_WIN32_SUPPORT_H_
#define PLATFORM_WIN32_WIN32_SUPPORT_H_

// Helpers shared by the Windows implementations of the platform interfaces, and the Windows
// headers as they and the Windows-only tests want them. Include only from platform/win32/
// and tests/windows/.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>
// The platform interfaces have operations of these names; the Windows calls are always
// made by their A or W names.
#undef CreateFile
#undef CreateEvent

#include <string>
#include <string_view>

namespace platform {
namespace win32 {

// Owns a kernel handle and closes it when destroyed. INVALID_HANDLE_VALUE and null both
// mean "none".
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Close(); }

  bool Valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle; }
  // Closes the handle; false when CloseHandle fails (the handle is gone either way).
  bool Close() {
    if (!Valid()) return true;
    const BOOL closed = CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    return closed != 0;
  }

 private:
  HANDLE handle = INVALID_HANDLE_VALUE;
};

// The code page of the disks' names and of the programs' messages.
constexpr UINT kCodePage932 = 932;

// Code page 932 text as UTF-16, whatever the system's ANSI code page is, so the wide
// file calls create names exactly as the disk spells them. False (with ERROR_NO_UNICODE_
// TRANSLATION as the last error) when the bytes are not valid code page 932.
bool Cp932ToWide(std::string_view text, std::wstring* wide);

// UTF-16 text as code page 932 bytes; false when a character has no code page 932 form.
bool WideToCp932(std::wstring_view wide, std::string* text);

// UTF-8 text as UTF-16; false (with ERROR_NO_UNICODE_TRANSLATION) when it is not UTF-8.
bool Utf8ToWide(std::string_view text, std::wstring* wide);

}  // namespace win32
}  // namespace platform

#endif  // PLATFORM_WIN32_WIN32_SUPPORT_H_
