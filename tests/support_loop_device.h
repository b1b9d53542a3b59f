#ifndef TESTS_SUPPORT_LOOP_DEVICE_H_
#define TESTS_SUPPORT_LOOP_DEVICE_H_

#include <cstdint>
#include <string>

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

#endif  // TESTS_SUPPORT_LOOP_DEVICE_H_
