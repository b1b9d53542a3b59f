#include <cerrno>

#include "platform/system_error.h"

namespace platform {

int LastSystemError() { return errno; }

void SetLastSystemError(int value) { errno = value; }

}  // namespace platform
