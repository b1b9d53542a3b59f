// 64-bit file offsets also where off_t would be 32 bits wide.
#define _FILE_OFFSET_BITS 64

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "platform/raw_drive.h"

namespace platform {
namespace {

static_assert(sizeof(off_t) >= 8, "disks and images beyond 2 GiB need 64-bit offsets");

// A block device or a regular file opened read-only; the position is the file offset.
class PosixRawDrive final : public RawDrive {
 public:
  explicit PosixRawDrive(int fd) : fd(fd) {}
  ~PosixRawDrive() override { ::close(fd); }

  bool Seek(int64_t distance, MoveMethod method, uint64_t* newPosition) override {
    int whence = SEEK_SET;
    if (method == MoveMethod::kCurrent) whence = SEEK_CUR;
    if (method == MoveMethod::kEnd) whence = SEEK_END;
    const off_t result = ::lseek(fd, static_cast<off_t>(distance), whence);
    if (result < 0) return Fail(errno);
    *newPosition = static_cast<uint64_t>(result);
    return true;
  }

  bool GetSectorSize(uint32_t* bytesPerSector) override {
    // Only block devices answer; a regular file fails with ENOTTY.
    int size = 0;
    if (::ioctl(fd, BLKSSZGET, &size) != 0) return Fail(errno);
    if (size <= 0) return Fail(EINVAL);
    *bytesPerSector = static_cast<uint32_t>(size);
    return true;
  }

  bool Read(void* buffer, uint32_t length, uint32_t* bytesRead) override {
    // read() may return less than asked before the end; only 0 means the end.
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
      const ssize_t n = ::read(fd, out + done, length - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        *bytesRead = done;
        return Fail(errno);
      }
      if (n == 0) break;
      done += static_cast<uint32_t>(n);
    }
    *bytesRead = done;
    return true;
  }

  int LastError() override { return lastError; }

 private:
  bool Fail(int error) {
    lastError = error;
    return false;
  }

  const int fd;
  int lastError = 0;
};

class PosixRawDriveService final : public RawDriveService {
 public:
  std::unique_ptr<RawDrive> Open(const char* name, int* systemError) override {
    int fd;
    do {
      fd = ::open(name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      *systemError = errno;
      return nullptr;
    }
    return std::make_unique<PosixRawDrive>(fd);
  }
};

}  // namespace

std::unique_ptr<RawDriveService> NewSystemRawDriveService() {
  return std::make_unique<PosixRawDriveService>();
}

}  // namespace platform
