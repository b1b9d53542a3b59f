#ifndef TESTS_SUPPORT_LOOP_DEVICE_H_
#define TESTS_SUPPORT_LOOP_DEVICE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

// A fresh directory under the system's temporary folder, removed with everything in it
// when destroyed.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // The path of `name` inside the directory.
  std::string File(const std::string& name) const;

 private:
  std::string path;
};

// Why loop devices cannot be attached here (not root, no losetup), or empty when they
// can be tried.
std::string LoopDevicesUnavailable();

// An image file attached read-only as a loop device with the given logical sector size,
// detached when destroyed, also when the test using it fails.
class LoopDevice {
 public:
  LoopDevice(const std::string& file, uint32_t sectorSize);
  ~LoopDevice();
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  // "/dev/loopN", or empty when attaching failed (then Error() says why).
  const std::string& Path() const { return path; }
  const std::string& Error() const { return error; }

 private:
  std::string path;
  std::string error;
};

// Unmounts the FUSE mount at `path` when destroyed (fusermount3 -u, lazily when it stays
// busy), also when the test using it fails. It mounts nothing; nothing mounted there is no
// error.
class FuseUnmountGuard {
 public:
  explicit FuseUnmountGuard(std::string path) : path(std::move(path)) {}
  ~FuseUnmountGuard();
  FuseUnmountGuard(const FuseUnmountGuard&) = delete;
  FuseUnmountGuard& operator=(const FuseUnmountGuard&) = delete;

 private:
  std::string path;
};

// A block device with bad sectors: an image served by faulty_image_fs, whose reads fail
// with EIO where they touch the given byte ranges, attached read-only as a loop device of
// 512-byte sectors. The loop driver reads the served file with the request's own offsets
// and sizes, so an O_DIRECT read of the device fails only on a bad sector, while buffered
// reads of the device fail whatever the page cache reads with it. When destroyed it
// detaches the loop device, then unmounts the server, also when the test using it fails;
// a mount of the device must be gone first (FuseUnmountGuard, declared after this).
class FailingBlockDevice {
 public:
  // `server` is the faulty_image_fs program, `image` the image file, `mountPoint` an empty
  // directory for the server, `badRanges` a list as the server takes for a file name:
  // "OFFSET[+LENGTH],..." (512 bytes when the length is left out; "0+0" for none).
  FailingBlockDevice(const std::string& server, const std::string& image,
                     const std::string& mountPoint, const std::string& badRanges);
  FailingBlockDevice(const FailingBlockDevice&) = delete;
  FailingBlockDevice& operator=(const FailingBlockDevice&) = delete;

  // "/dev/loopN", or empty when serving or attaching failed (then Error() says why).
  const std::string& Path() const;
  const std::string& Error() const { return error; }

  // Drops what the page cache holds of the device, so the next program reads it as a
  // fresh one (blockdev --flushbufs); true on success.
  bool DropCache() const;

 private:
  std::string error;
  std::unique_ptr<FuseUnmountGuard> served;
  std::unique_ptr<LoopDevice> loop;  // declared after `served`: detached before it unmounts
};

#endif  // TESTS_SUPPORT_LOOP_DEVICE_H_
