// 64-bit file offsets also where off_t would be 32 bits wide.
#define _FILE_OFFSET_BITS 64

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/posix/descriptor_seek.h"
#include "platform/raw_drive.h"

namespace platform {
namespace {

static_assert(sizeof(off_t) >= 8, "disks and images beyond 2 GiB need 64-bit offsets");

// A block device or a regular file opened read-only. The position is kept here and every
// read names its offset (pread), so a seek costs no system call and a read costs one.
class PosixRawDrive final : public RawDrive {
 public:
  PosixRawDrive(int fd, std::string name) : fd(fd), name(std::move(name)) {}
  ~PosixRawDrive() override {
    ::close(fd);
    if (directFd >= 0) ::close(directFd);
  }

  bool Seek(int64_t distance, MoveMethod method, uint64_t* newPosition) override {
    int error = 0;
    if (!SeekDescriptor(fd, &position, distance, method, &error)) return Fail(error);
    *newPosition = position;
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
    return ReadAt(fd, static_cast<uint8_t*>(buffer), length, bytesRead);
  }

  bool ReadUncached(void* buffer, uint32_t length, uint32_t* bytesRead) override {
    if (!OpenDirect() || position % directBlock != 0 || length % directBlock != 0) {
      return Read(buffer, length, bytesRead);
    }
    // O_DIRECT moves whole logical blocks between the device and memory aligned to them.
    void* aligned = nullptr;
    if (length == 0 || ::posix_memalign(&aligned, kDirectAlignment, length) != 0) {
      return Read(buffer, length, bytesRead);
    }
    const bool ok = ReadAt(directFd, static_cast<uint8_t*>(aligned), length, bytesRead);
    std::memcpy(buffer, aligned, *bytesRead);
    ::free(aligned);
    return ok;
  }

  int LastError() override { return lastError; }

 private:
  // Reads `length` bytes at the position through `from` and moves the position past what
  // arrived, as read() would move the file offset. pread may return less than asked
  // before the end; only 0 means the end.
  bool ReadAt(int from, uint8_t* out, uint32_t length, uint32_t* bytesRead) {
    uint32_t done = 0;
    bool ok = true;
    while (done < length) {
      const ssize_t n =
          ::pread(from, out + done, length - done, static_cast<off_t>(position + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = Fail(errno);
        break;
      }
      if (n == 0) break;
      done += static_cast<uint32_t>(n);
    }
    position += done;
    *bytesRead = done;
    return ok;
  }

  // Memory alignment of O_DIRECT buffers: a page, which every block size divides.
  static constexpr uint32_t kDirectAlignment = 4096;

  // Opens the second, uncached descriptor on a block device once. False where there is
  // none to be had (a regular file, or O_DIRECT refused, as tmpfs refuses it).
  bool OpenDirect() {
    if (directTried) return directFd >= 0;
    directTried = true;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISBLK(info.st_mode)) return false;
    int block = 0;
    if (::ioctl(fd, BLKSSZGET, &block) != 0 || block <= 0 ||
        kDirectAlignment % static_cast<uint32_t>(block) != 0) {
      return false;
    }
    directBlock = static_cast<uint32_t>(block);
    do {
      directFd = ::open(name.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
    } while (directFd < 0 && errno == EINTR);
    return directFd >= 0;
  }

  bool Fail(int error) {
    lastError = error;
    return false;
  }

  const int fd;
  const std::string name;
  int directFd = -1;  // the uncached descriptor, once opened
  bool directTried = false;
  uint32_t directBlock = 512;
  uint64_t position = 0;
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
    return std::make_unique<PosixRawDrive>(fd, name);
  }
};

}  // namespace

std::unique_ptr<RawDriveService> NewSystemRawDriveService() {
  return std::make_unique<PosixRawDriveService>();
}

}  // namespace platform
