#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>

#include "platform/posix/descriptor_seek.h"
#include "platform/raw_drive.h"

namespace platform {
namespace {

// An image file of the page, mounted into the module's file system (the browser's File
// behind it). Every read seeks first: pread fails or wraps its offset at 2 GiB and more in
// this Emscripten, lseek and read do not. There are no block devices in a browser, so no
// sector size and no uncached reads.
class WebRawDrive final : public RawDrive {
 public:
  explicit WebRawDrive(int fd) : fd(fd) {}
  ~WebRawDrive() override { ::close(fd); }

  bool Seek(int64_t distance, MoveMethod method, uint64_t* newPosition) override {
    int error = 0;
    if (!SeekDescriptor(fd, &position, distance, method, &error)) return Fail(error);
    *newPosition = position;
    return true;
  }

  bool GetSectorSize(uint32_t*) override { return Fail(ENOTTY); }

  bool Read(void* buffer, uint32_t length, uint32_t* bytesRead) override {
    *bytesRead = 0;
    if (::lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) return Fail(errno);
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (*bytesRead < length) {
      const ssize_t got = ::read(fd, bytes + *bytesRead, length - *bytesRead);
      if (got < 0) {
        if (errno == EINTR) continue;
        position += *bytesRead;
        return Fail(errno);
      }
      if (got == 0) break;
      *bytesRead += static_cast<uint32_t>(got);
    }
    position += *bytesRead;
    return true;
  }

  int LastError() override { return lastError; }

 private:
  bool Fail(int error) {
    lastError = error;
    return false;
  }

  int fd;
  uint64_t position = 0;
  int lastError = 0;
};

class WebRawDriveService final : public RawDriveService {
 public:
  std::unique_ptr<RawDrive> Open(const char* name, int* systemError) override {
    const int fd = ::open(name, O_RDONLY);
    if (fd < 0) {
      *systemError = errno;
      return nullptr;
    }
    return std::make_unique<WebRawDrive>(fd);
  }
};

}  // namespace

std::unique_ptr<RawDriveService> NewSystemRawDriveService() {
  return std::make_unique<WebRawDriveService>();
}

}  // namespace platform
