// faulty_image_fs IMAGE MOUNTPOINT: a read-only FUSE mount for tests. Every MOUNTPOINT/N holds
// IMAGE; a read touching its 512 bytes at offset N fails with EIO as a whole, as a disk fails a
// request with a bad sector. Returns once mounted; serves until fusermount3 -u.
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

int GetAttr(const char* path, struct stat* out, fuse_file_info*) {
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
  const off_t bad = std::atoll(path + 1);
  if (offset < bad + 512 && bad < offset + static_cast<off_t>(size)) return -EIO;
  const ssize_t n = ::pread(imageFd, buffer, size, offset);
  return n < 0 ? -errno : static_cast<int>(n);
}

}  // namespace

int main(int argc, char** argv) {
  imageFd = argc == 3 ? ::open(argv[1], O_RDONLY) : -1;
  if (imageFd < 0 || ::fstat(imageFd, &image) != 0) {
    std::perror(argc == 3 ? argv[1] : "usage: faulty_image_fs IMAGE MOUNTPOINT");
    return 2;
  }
  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.open = Open;
  operations.read = Read;
  // One thread, so the reads arrive one at a time in their order.
  char single[] = "-s", option[] = "-o", readOnly[] = "ro";
  char* fuseArgv[] = {argv[0], single, option, readOnly, argv[2], nullptr};
  return fuse_main(5, fuseArgv, &operations, nullptr);
}
