#ifndef PLATFORM_SYSTEM_ERROR_H_
#define PLATFORM_SYSTEM_ERROR_H_

namespace platform {

// The operating system's last-error value of the calling thread: errno on POSIX,
// GetLastError() on Windows. Reading it changes nothing.
int LastSystemError();

// Sets that value (errno, SetLastError), as a failing system call would.
void SetLastSystemError(int value);

}  // namespace platform

#endif  // PLATFORM_SYSTEM_ERROR_H_
