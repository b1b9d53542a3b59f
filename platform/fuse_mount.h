#ifndef PLATFORM_FUSE_MOUNT_H_
#define PLATFORM_FUSE_MOUNT_H_

// Serving a read-only file system through FUSE (Linux, libfuse 3). The file system itself
// is the caller's: an implementation of ReadOnlyFileSystem, which works on host paths and
// the plain values below and needs no system header, so it can be called directly in
// tests. The one implementation of ServeFuseMount is in posix/fuse_mount_posix.cc; there
// is none for Windows.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// What one file or directory shows to stat. The owner and group are the user who mounted.
struct NodeAttributes {
  bool isDirectory = false;
  uint32_t permissions = 0;  // the rwx bits, 0777 at most
  uint32_t links = 1;
  uint64_t size = 0;
  uint64_t blocks = 0;  // in units of 512 bytes
  int64_t time = 0;     // modification, access and change time: seconds since 1970 UTC
};

// What statfs reports.
struct FileSystemTotals {
  uint32_t blockBytes = 0;
  uint64_t blocks = 0;
  uint64_t freeBlocks = 0;
  uint32_t nameLimit = 255;  // bytes in one name
};

// The operations a mounted read-only file system answers. Paths are host text, absolute
// from the mount's root ("/", "/DOC/A.TXT"). Failures are negative errno values (-ENOENT,
// -ENOTDIR, -EISDIR, -EIO, -EROFS...). Every call comes from one thread.
class ReadOnlyFileSystem {
 public:
  ReadOnlyFileSystem() = default;
  ReadOnlyFileSystem(const ReadOnlyFileSystem&) = delete;
  ReadOnlyFileSystem& operator=(const ReadOnlyFileSystem&) = delete;
  virtual ~ReadOnlyFileSystem() = default;

  // Receives one directory entry, its name and attributes; false when it takes no more.
  using EntrySink = std::function<bool(const std::string& name, const NodeAttributes& attributes)>;

  // 0 with the attributes of `path` in `out`, or a failure.
  virtual int GetAttributes(const std::string& path, NodeAttributes* out) = 0;
  // Hands the entries of the directory `path` ("." and ".." are not among them) to `sink`
  // in order, from entry number `first` (0 the first) until the last or until `sink`
  // takes no more, and returns 0; a failure hands none.
  virtual int ReadDirectory(const std::string& path, size_t first, const EntrySink& sink) = 0;
  // Opens the file `path`: 0 and a handle for Read and Release in `handle`, or a failure
  // (-EROFS when `forWriting`).
  virtual int Open(const std::string& path, bool forWriting, uint64_t* handle) = 0;
  // Copies `size` bytes from `offset` of the open file into `buffer`: the count, which is
  // `size` unless the file ends first, or a failure.
  virtual int Read(uint64_t handle, char* buffer, size_t size, int64_t offset) = 0;
  // Forgets the handle: 0, or -EBADF for one that is not open.
  virtual int Release(uint64_t handle) = 0;
  // 0 with the totals in `out`.
  virtual int StatFs(FileSystemTotals* out) = 0;
};

// How to mount.
struct FuseMountRequest {
  std::string programName;           // argv[0], for libfuse's messages
  std::string sourceName;            // what the mount table shows as the mounted device
  std::string mountPoint;            // host path of an existing directory
  std::vector<std::string> options;  // FUSE mount options, each a comma-separated list; an
                                     // rw among them is overridden, the mount stays ro
  bool foreground = false;
};

// Mounts `fileSystem` read-only at request.mountPoint and serves it with one thread until
// it is unmounted (fusermount3 -u) or the process is told to stop (SIGINT, SIGTERM,
// SIGHUP). The mount point is held by its absolute path, resolved from the current
// directory before anything is mounted: a stop unmounts that path, wherever the process
// has moved since. Unless request.foreground, the process detaches once the mount is up:
// the caller's process ends there with status 0, and a detached one serves on with its
// standard streams on /dev/null. Returns the exit status: 0 after the mount was served
// to its end, 1 when it could not come up (on the error stream "peekfs: bad mount point
// MOUNTPOINT: REASON" for a path that does not resolve, otherwise libfuse says why).
// `fileSystem` must outlive the call.
int ServeFuseMount(ReadOnlyFileSystem* fileSystem, const FuseMountRequest& request);

// Says one line of host text (without its line end) to the user of the mount: on the
// standard error stream, or, once ServeFuseMount has detached the process and its streams
// are /dev/null, to the system log as a warning.
void SayToMountUser(const std::string& line);

}  // namespace platform

#endif  // PLATFORM_FUSE_MOUNT_H_
