#include <memory>

#include "platform/platform_family.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

// The size of OSVERSIONINFOA, which every Windows since Windows 95 accepts.
constexpr DWORD kVersionInfoSize = 148;
static_assert(sizeof(OSVERSIONINFOA) == kVersionInfoSize, "OSVERSIONINFOA layout");

class Win32PlatformFamilyQuery final : public PlatformFamilyQuery {
 public:
  PlatformFamily Family() override {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = kVersionInfoSize;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL known = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!known) return PlatformFamily::kOther;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return PlatformFamily::kWin95;
    if (info.dwPlatformId == VER_PLATFORM_WIN32_NT) return PlatformFamily::kNt;
    return PlatformFamily::kOther;
  }
};

}  // namespace

std::unique_ptr<PlatformFamilyQuery> NewSystemPlatformFamilyQuery() {
  return std::make_unique<Win32PlatformFamilyQuery>();
}

}  // namespace platform
