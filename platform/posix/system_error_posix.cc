#include <cerrno>

#include "platform/system_error.h"

namespace platform {

int LastSystemError() { return errno; }

}  // namespace platform
