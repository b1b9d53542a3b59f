#include <windows.h>

#include "platform/system_error.h"

namespace platform {

int LastSystemError() { return static_cast<int>(GetLastError()); }

}  // namespace platform
