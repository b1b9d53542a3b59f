#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "platform/dos_date_time.h"
#include "platform/target_file_system.h"

namespace platform {
namespace {

class PosixTargetFile final : public TargetFile {
 public:
  PosixTargetFile(int descriptor, int* lastError) : fd(descriptor), lastError(lastError) {}
  ~PosixTargetFile() override {
    if (fd >= 0) ::close(fd);
  }

  bool Write(const void* data, size_t length) override {
    const char* next = static_cast<const char*>(data);
    while (length > 0) {
      const ssize_t written = ::write(fd, next, length);
      if (written < 0) {
        if (errno == EINTR) continue;
        *lastError = errno;
        return false;
      }
      if (written == 0) {
        *lastError = ENOSPC;
        return false;
      }
      // A short count means the limit or the disk was reached; the next call reports why.
      next += written;
      length -= static_cast<size_t>(written);
    }
    return true;
  }

  bool Close() override {
    if (fd < 0) return true;
    const int result = ::close(fd);
    fd = -1;
    if (result != 0 && errno != EINTR) {
      *lastError = errno;
      return false;
    }
    return true;
  }

 private:
  int fd;
  int* lastError;
};

class PosixTargetFileSystem final : public TargetFileSystem {
 public:
  std::unique_ptr<TargetFile> CreateFile(const std::string& path) override {
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      lastError = errno;
      return nullptr;
    }
    return std::make_unique<PosixTargetFile>(fd, &lastError);
  }

  bool MakeDirectory(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) != 0) return Fail();
    return true;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    if ((attributes & TargetAttributeReadOnly) == 0) return true;
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) return Fail();
    if (::chmod(path.c_str(), status.st_mode & 07555) != 0) return Fail();
    return true;
  }

  bool SetFileTimes(const std::string& path, DosDateTime lastWrite) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    if (!StampToTimespec(lastWrite, &times[1])) return false;
    return SetTimes(path, times);
  }

  bool SetDirectoryTimes(const std::string& path, DosDateTime stamp) override {
    struct timespec times[2];
    if (!StampToTimespec(stamp, &times[1])) return false;
    times[0] = times[1];
    return SetTimes(path, times);
  }

  int LastError() const override { return lastError; }

 private:
  bool Fail() {
    lastError = errno;
    return false;
  }

  bool StampToTimespec(DosDateTime stamp, struct timespec* out) {
    int64_t seconds = 0;
    if (!LocalDosTimeToSeconds(stamp.date, stamp.time, &seconds)) {
      lastError = EINVAL;
      return false;
    }
    out->tv_sec = static_cast<time_t>(seconds);
    out->tv_nsec = 0;
    return true;
  }

  bool SetTimes(const std::string& path, const struct timespec times[2]) {
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return Fail();
    return true;
  }

  int lastError = 0;
};

}  // namespace

std::unique_ptr<TargetFileSystem> NewTargetFileSystem() {
  return std::make_unique<PosixTargetFileSystem>();
}

void KeepRunningPastFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }

bool ReadHostStamp(const std::string& path, DosDateTime* stamp, bool* readOnly) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return false;
  struct tm local;
  if (localtime_r(&status.st_mtime, &local) == nullptr) return false;
  int year = local.tm_year + 1900;
  if (year < 1980) {
    *stamp = {static_cast<uint16_t>((1 << 5) | 1), 0};  // 1980-01-01 00:00:00
  } else if (year > 2107) {
    *stamp = {static_cast<uint16_t>((127 << 9) | (12 << 5) | 31),
              static_cast<uint16_t>((23 << 11) | (59 << 5) | 29)};
  } else {
    stamp->date =
        static_cast<uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    stamp->time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                        ((local.tm_sec > 59 ? 59 : local.tm_sec) / 2));
  }
  *readOnly = (status.st_mode & 0222) == 0;
  return true;
}

}  // namespace platform
