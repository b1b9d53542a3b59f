// faulty_image_fs IMAGE MOUNTPOINT [RATE]: a read-only FUSE mount for tests. Every
// MOUNTPOINT/NAME holds IMAGE, NAME being a comma-separated list of bad byte ranges, each
// OFFSET or OFFSET+LENGTH (LENGTH 512 when left out, 0 for none): "300032" or
// "33792,37376+512". A read touching a bad range fails with EIO as a whole, as a disk fails
// a request with a bad sector. With RATE, reads take as long as RATE KiB per second gives
// them, as on a slow drive. Returns once mounted; serves until fusermount3 -u.
#define FUSE_USE_VERSION 31

#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

int imageFd = -1;
struct stat image;
unsigned long kibPerSecond = 0;  // 0: reads as fast as the image gives them

// Whether the read of `size` bytes at `offset` touches a range the name lists; false with
// *valid false for a name that is no such list.
bool TouchesBadRange(const char* name, off_t offset, size_t size, bool* valid) {
  *valid = false;
  bool touches = false;
  for (const char* at = name;; ++at) {
    char* end = nullptr;
    const off_t bad = std::strtoll(at, &end, 10);
    off_t length = 512;
    if (end == at) return false;
    if (*end == '+') {
      at = end + 1;
      length = std::strtoll(at, &end, 10);
      if (end == at) return false;
    }
    if (offset < bad + length && bad < offset + static_cast<off_t>(size)) touches = true;
    if (*end == '\0') break;
    if (*end != ',') return false;
    at = end;
  }
  *valid = true;
  return touches;
}

int GetAttr(const char* path, struct stat* out, fuse_file_info*) {
  bool valid = true;
  if (path[1] != '\0') TouchesBadRange(path + 1, 0, 0, &valid);
  if (!valid) return -ENOENT;
  *out = {};
  out->st_mode = path[1] == '\0' ? S_IFDIR | 0555 : S_IFREG | 0444;
  out->st_size = image.st_size;
  return 0;
}

int Open(const char*, fuse_file_info* info) {
  // Through the page cache the kernel would read whole pages and fail 4 KiB for one bad
  // sector; direct I/O hands every read over with the reader's own offset and size.
  info->direct_io = 1;
  return 0;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
  bool valid = false;
  if (kibPerSecond > 0) ::usleep(static_cast<useconds_t>(size * 1000000 / 1024 / kibPerSecond));
  if (TouchesBadRange(path + 1, offset, size, &valid) || !valid) return -EIO;
  const ssize_t n = ::pread(imageFd, buffer, size, offset);
  return n < 0 ? -errno : static_cast<int>(n);
}

}  // namespace

int main(int argc, char** argv) {
  const bool wellFormed = argc == 3 || argc == 4;
  imageFd = wellFormed ? ::open(argv[1], O_RDONLY) : -1;
  if (imageFd < 0 || ::fstat(imageFd, &image) != 0) {
    std::perror(wellFormed ? argv[1] : "usage: faulty_image_fs IMAGE MOUNTPOINT [RATE]");
    return 2;
  }
  if (argc == 4) kibPerSecond = std::strtoul(argv[3], nullptr, 10);
  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.open = Open;
  operations.read = Read;
  // One thread, so the reads arrive one at a time in their order.
  char single[] = "-s", option[] = "-o", readOnly[] = "ro";
  char* fuseArgv[] = {argv[0], single, option, readOnly, argv[2], nullptr};
  return fuse_main(5, fuseArgv, &operations, nullptr);
}
