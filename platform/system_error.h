#ifndef PLATFORM_SYSTEM_ERROR_H_
#define PLATFORM_SYSTEM_ERROR_H_

namespace platform {

// The operating system's last-error value of the calling thread: errno on POSIX,
// GetLastError() on Windows. Reading it changes nothing.
int LastSystemError();

}  // namespace platform

#endif  // PLATFORM_SYSTEM_ERROR_H_
