// faulty_image_fs IMAGE OFFSET:LENGTH[,OFFSET:LENGTH...] MOUNTPOINT
//
// A test-only FUSE file system: MOUNTPOINT holds one read-only file, disk.img, with the
// bytes of IMAGE. A read that touches any of the byte ranges fails with EIO as a whole, as
// a block device fails a request that includes a bad sector; every other read returns the
// image's bytes. The program returns once the mount is up and serves it on one thread
// until fusermount3 -u.
#define FUSE_USE_VERSION 31
#define _FILE_OFFSET_BITS 64

#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct ByteRange {
  uint64_t offset;
  uint64_t length;
};

int imageFd = -1;
uint64_t imageSize = 0;
std::vector<ByteRange> failing;

int GetAttr(const char* path, struct stat* out, fuse_file_info*) {
  std::memset(out, 0, sizeof(*out));
  const bool root = std::strcmp(path, "/") == 0;
  if (!root && std::strcmp(path, "/disk.img") != 0) return -ENOENT;
  out->st_mode = root ? S_IFDIR | 0555 : S_IFREG | 0444;
  out->st_nlink = root ? 2 : 1;
  out->st_size = root ? 0 : static_cast<off_t>(imageSize);
  return 0;
}

int Open(const char*, fuse_file_info* info) {
  // Through the page cache the kernel would read whole pages and fail 4 KiB for one bad
  // sector; direct I/O hands every read over with the reader's own offset and size.
  info->direct_io = 1;
  return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info*) {
  const uint64_t start = static_cast<uint64_t>(offset);
  if (start >= imageSize) return 0;
  const uint64_t end = std::min<uint64_t>(start + size, imageSize);
  for (const ByteRange& range : failing) {
    if (start < range.offset + range.length && range.offset < end) return -EIO;
  }
  const ssize_t n = ::pread(imageFd, buffer, end - start, offset);
  return n < 0 ? -errno : static_cast<int>(n);
}

}  // namespace

int main(int argc, char** argv) {
  // The ranges: "OFFSET:LENGTH" joined by commas.
  for (const char* at = argc == 4 ? argv[2] : ""; *at != '\0';) {
    ByteRange range{};
    int used = 0;
    if (std::sscanf(at, "%" SCNu64 ":%" SCNu64 ",%n", &range.offset, &range.length, &used) < 2) {
      return 2;
    }
    failing.push_back(range);
    at += used > 0 ? used : std::strlen(at);
  }
  struct stat image;
  imageFd = argc == 4 ? ::open(argv[1], O_RDONLY | O_CLOEXEC) : -1;
  if (imageFd < 0 || ::fstat(imageFd, &image) != 0) {
    std::fprintf(stderr, "usage: faulty_image_fs IMAGE OFFSET:LENGTH[,...] MOUNTPOINT\n");
    return 2;
  }
  imageSize = static_cast<uint64_t>(image.st_size);
  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.open = Open;
  operations.read = Read;
  // One thread, so the reads arrive one at a time in their order; read-only.
  char single[] = "-s", option[] = "-o", options[] = "ro,default_permissions,fsname=faulty_image";
  char* fuseArgv[] = {argv[0], single, option, options, argv[3], nullptr};
  return fuse_main(5, fuseArgv, &operations, nullptr);
}
