#ifndef TESTS_SUPPORT_FAULTY_IMAGE_H_
#define TESTS_SUPPORT_FAULTY_IMAGE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support_loop_device.h"

// Bytes [offset, offset + length) of an image.
struct ImageByteRange {
  uint64_t offset;
  uint64_t length;
};

// An image file served through the kernel by faulty_image_fs (a FUSE file system), so that
// every read of ImagePath() that touches one of the failing ranges fails with EIO as a
// whole, and every other read returns the image's bytes. Reads reach the file system with
// the reader's own offset and size (no page cache). Linux only.
//
//   FaultyImageMount mount(imagePath, {{4096, 512}});
//   ASSERT_EQ("", mount.Start());
//   ... open mount.ImagePath() ...
//
// Nothing stays mounted after destruction, also when the test using it fails.
class FaultyImageMount {
 public:
  // `image` must stay in place until Stop() or destruction.
  FaultyImageMount(const std::string& image, const std::vector<ImageByteRange>& failing);
  ~FaultyImageMount();
  FaultyImageMount(const FaultyImageMount&) = delete;
  FaultyImageMount& operator=(const FaultyImageMount&) = delete;

  // Mounts on a fresh folder and waits (10 s at most) until the file is there. Empty on
  // success; otherwise what is missing or went wrong ("/dev/fuse is missing", "fusermount3
  // not found (install fuse3)", "mount did not come up: " and the program's error output),
  // and nothing is left mounted or running.
  std::string Start();

  // The served file; valid between a successful Start() and Stop().
  std::string ImagePath() const;
  // The folder the file system is mounted on.
  const std::string& MountPoint() const { return mountPoint; }

  // Unmounts (lazily, so open descriptors do not keep it mounted) and waits for the
  // program to end. Empty when it ended cleanly (exit status 0, which under the sanitizers
  // also means no leak was reported); otherwise its exit status and error output. Does
  // nothing and returns empty when not started.
  std::string Stop();

 private:
  std::string image;
  std::vector<ImageByteRange> failing;
  ScratchDirectory scratch;
  std::string mountPoint;
  std::string errorLog;
  // The process id of the running program, or -1.
  int child = -1;
};

// True when `path` (absolute, without spaces) is listed in /proc/mounts as a mount point.
bool IsMountPoint(const std::string& path);

#endif  // TESTS_SUPPORT_FAULTY_IMAGE_H_
