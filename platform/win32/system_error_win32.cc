#include "platform/system_error.h"
#include "platform/win32/win32_support.h"

namespace platform {

int LastSystemError() { return static_cast<int>(GetLastError()); }

void SetLastSystemError(int value) { SetLastError(static_cast<DWORD>(value)); }

}  // namespace platform
