#include <memory>

#include "platform/console_window.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

// A standard handle that is a console. The handle belongs to the process and stays open.
class Win32ConsoleWindow final : public ConsoleWindow {
 public:
  explicit Win32ConsoleWindow(HANDLE handle) : handle(handle) {}

  bool Write(std::u16string_view text) override {
    // WriteConsoleW may take fewer characters than offered.
    while (!text.empty()) {
      DWORD written = 0;
      if (!WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.data()),
                         static_cast<DWORD>(text.size()), &written, nullptr) ||
          written == 0) {
        return false;
      }
      text.remove_prefix(written);
    }
    return true;
  }

 private:
  HANDLE handle;
};

}  // namespace

std::unique_ptr<ConsoleWindow> NewStandardConsoleWindow(StandardStream stream) {
  HANDLE handle =
      GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  // Only a console has a console mode: a file or a pipe keeps its code page 932 bytes.
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    return nullptr;
  }
  return std::make_unique<Win32ConsoleWindow>(handle);
}

}  // namespace platform
