// faulty_image_fs IMAGE MOUNTPOINT [--fail OFFSET:LENGTH]...
//
// A test-only FUSE file system: MOUNTPOINT holds one read-only file, disk.img, with the
// bytes of IMAGE. A read that touches any of the --fail byte ranges fails with EIO as a
// whole, as a block device fails a request that includes a bad sector; every other read
// returns the image's bytes. The program runs in the foreground on one thread until it is
// unmounted or gets SIGTERM, SIGINT or SIGHUP, and then unmounts and exits with 0.
#define FUSE_USE_VERSION 31
// 64-bit file offsets also where off_t would be 32 bits wide.
#define _FILE_OFFSET_BITS 64

#include <fcntl.h>
#include <fuse.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kFileName[] = "disk.img";
const char kFilePath[] = "/disk.img";

struct ByteRange {
  uint64_t offset;
  uint64_t length;
};

struct Served {
  int fd = -1;
  uint64_t size = 0;
  std::vector<ByteRange> failing;
};

Served served;

// True when [offset, offset + length) shares a byte with a failing range.
bool TouchesFailingRange(uint64_t offset, uint64_t length) {
  for (const ByteRange& range : served.failing) {
    if (offset < range.offset + range.length && range.offset < offset + length) return true;
  }
  return false;
}

int GetAttr(const char* path, struct stat* attributes, fuse_file_info*) {
  std::memset(attributes, 0, sizeof(*attributes));
  if (std::strcmp(path, "/") == 0) {
    attributes->st_mode = S_IFDIR | 0555;
    attributes->st_nlink = 2;
    return 0;
  }
  if (std::strcmp(path, kFilePath) == 0) {
    attributes->st_mode = S_IFREG | 0444;
    attributes->st_nlink = 1;
    attributes->st_size = static_cast<off_t>(served.size);
    return 0;
  }
  return -ENOENT;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
  if (std::strcmp(path, "/") != 0) return -ENOENT;
  fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, kFileName, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  return 0;
}

int Open(const char* path, fuse_file_info* info) {
  if (std::strcmp(path, kFilePath) != 0) return -ENOENT;
  if ((info->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  // Through the page cache the kernel would read whole pages and fail 4 KiB for one bad
  // sector; direct I/O hands every read over with the caller's own offset and size.
  info->direct_io = 1;
  info->keep_cache = 0;
  return 0;
}

int Read(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info*) {
  if (std::strcmp(path, kFilePath) != 0) return -ENOENT;
  if (offset < 0) return -EINVAL;
  const uint64_t start = static_cast<uint64_t>(offset);
  if (start >= served.size) return 0;
  const uint64_t length = std::min<uint64_t>(size, served.size - start);
  if (TouchesFailingRange(start, length)) return -EIO;
  uint64_t done = 0;
  while (done < length) {
    const ssize_t n =
        ::pread(served.fd, buffer + done, length - done, static_cast<off_t>(start + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -errno;
    if (n == 0) break;
    done += static_cast<uint64_t>(n);
  }
  return static_cast<int>(done);
}

// "OFFSET:LENGTH", decimal or 0x hexadecimal, LENGTH above 0.
bool ParseRange(const char* text, ByteRange* range) {
  char* end = nullptr;
  errno = 0;
  range->offset = std::strtoull(text, &end, 0);
  if (errno != 0 || end == text || *end != ':') return false;
  const char* second = end + 1;
  range->length = std::strtoull(second, &end, 0);
  if (errno != 0 || end == second || *end != '\0' || range->length == 0) return false;
  return range->offset + range->length >= range->offset;
}

int Usage(const char* problem) {
  std::fprintf(stderr,
               "faulty_image_fs: %s\nusage: faulty_image_fs IMAGE MOUNTPOINT "
               "[--fail OFFSET:LENGTH]...\n",
               problem);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fail") == 0) {
      ByteRange range{};
      if (i + 1 >= argc || !ParseRange(argv[i + 1], &range)) return Usage("bad --fail range");
      served.failing.push_back(range);
      ++i;
    } else {
      positional.push_back(argv[i]);
    }
  }
  if (positional.size() != 2) return Usage("IMAGE and MOUNTPOINT are needed");

  // A test that dies without unmounting takes the mount with it: the signal unmounts.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);

  served.fd = ::open(positional[0].c_str(), O_RDONLY | O_CLOEXEC);
  struct stat image;
  if (served.fd < 0 || ::fstat(served.fd, &image) != 0) {
    std::fprintf(stderr, "faulty_image_fs: cannot open %s: %s\n", positional[0].c_str(),
                 std::strerror(errno));
    return 1;
  }
  served.size = static_cast<uint64_t>(image.st_size);

  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.readdir = ReadDir;
  operations.open = Open;
  operations.read = Read;

  // Read-only and single-threaded (fuse_loop), so the reads reach Read one at a time in
  // their order; the program stays in the foreground.
  std::vector<std::string> options = {
      argv[0], "-o", "ro,default_permissions,fsname=faulty_image,subtype=faulty_image"};
  std::vector<char*> optionArgv;
  for (std::string& option : options) optionArgv.push_back(option.data());
  fuse_args arguments = FUSE_ARGS_INIT(static_cast<int>(optionArgv.size()), optionArgv.data());
  fuse* session = fuse_new(&arguments, &operations, sizeof(operations), nullptr);
  int status = 1;
  if (session != nullptr) {
    if (fuse_mount(session, positional[1].c_str()) == 0) {
      if (fuse_set_signal_handlers(fuse_get_session(session)) == 0) {
        // 0 after an unmount, the signal's number after a signal: both end it cleanly.
        status = fuse_loop(session) < 0 ? 1 : 0;
        fuse_remove_signal_handlers(fuse_get_session(session));
      }
      fuse_unmount(session);
    }
    fuse_destroy(session);
  }
  fuse_opt_free_args(&arguments);
  ::close(served.fd);
  return status;
}
