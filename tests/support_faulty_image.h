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

// An image file served through the kernel by faulty_image_fs (FUSE, Linux only): every
// read of ImagePath() that touches one of the failing ranges fails with EIO as a whole,
// every other read returns the image's bytes, each with the reader's own offset and size.
// Unmounted when destroyed.
class FaultyImageMount {
 public:
  // `image` must stay in place while mounted.
  FaultyImageMount(const std::string& image, const std::vector<ImageByteRange>& failing)
      : image(image), failing(failing), mountPoint(scratch.File("mnt")) {}
  ~FaultyImageMount() { Stop(); }
  FaultyImageMount(const FaultyImageMount&) = delete;
  FaultyImageMount& operator=(const FaultyImageMount&) = delete;

  // Mounts on a fresh folder. Empty on success, else what is missing or went wrong.
  std::string Start();
  // Unmounts: empty, or why the mount is still there.
  std::string Stop();
  std::string ImagePath() const { return mountPoint + "/disk.img"; }
  const std::string& MountPoint() const { return mountPoint; }

 private:
  std::string image;
  std::vector<ImageByteRange> failing;
  ScratchDirectory scratch;
  std::string mountPoint;
  bool mounted = false;
};

// True when `path` (without spaces) is a mount point listed in /proc/mounts.
bool IsMountPoint(const std::string& path);

#endif  // TESTS_SUPPORT_FAULTY_IMAGE_H_
