#ifndef PLATFORM_POSIX_DESCRIPTOR_SEEK_H_
#define PLATFORM_POSIX_DESCRIPTOR_SEEK_H_

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/raw_drive.h"

namespace platform {

// RawDrive::Seek for a drive read through the file descriptor `fd` at a position the drive
// keeps itself (`*position`, read with pread or lseek before each read): kEnd counts from
// the file's size. True with the new position in *position; false with the errno of the
// failure in *error and the position unchanged.
inline bool SeekDescriptor(int fd, uint64_t* position, int64_t distance, MoveMethod method,
                           int* error) {
  int64_t origin = 0;
  if (method == MoveMethod::kCurrent) origin = static_cast<int64_t>(*position);
  if (method == MoveMethod::kEnd) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) {
      *error = errno;
      return false;
    }
    origin = static_cast<int64_t>(end);
  }
  // A place before byte 0 is refused, as lseek refuses it; so is one past what a signed
  // 64-bit offset holds.
  if ((distance < 0 && origin < -distance) || (distance > 0 && origin > INT64_MAX - distance)) {
    *error = EINVAL;
    return false;
  }
  *position = static_cast<uint64_t>(origin + distance);
  return true;
}

}  // namespace platform

#endif  // PLATFORM_POSIX_DESCRIPTOR_SEEK_H_
