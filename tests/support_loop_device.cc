#include "tests/support_loop_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Runs `command` through the shell with its output in *output; the exit status.
int RunShell(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) *output += buffer;
  const int status = ::pclose(pipe);
  while (!output->empty() && (output->back() == '\n' || output->back() == ' ')) {
    output->pop_back();
  }
  return status;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

ScratchDirectory::ScratchDirectory() {
  std::random_device random;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() /
        ("peek_disk_test_" + std::to_string(random()) + "_" + std::to_string(now + attempt));
    std::error_code error;
    if (fs::create_directory(candidate, error)) path = candidate.string();
  }
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code error;
  if (!path.empty()) fs::remove_all(path, error);
}

std::string ScratchDirectory::File(const std::string& name) const {
  return (fs::path(path) / name).string();
}

std::string LoopDevicesUnavailable() {
  if (std::system("test \"$(id -u)\" = 0") != 0) return "not running as root";
  if (std::system("command -v losetup >/dev/null 2>&1") != 0) return "losetup is missing";
  return std::string();
}

LoopDevice::LoopDevice(const std::string& file, uint32_t sectorSize) {
  std::string output;
  const int status = RunShell("losetup --find --show --read-only --sector-size " +
                                  std::to_string(sectorSize) + " " + Quote(file),
                              &output);
  if (status == 0 && output.compare(0, 9, "/dev/loop") == 0) {
    path = output;
  } else {
    error = "losetup failed: " + output;
  }
}

LoopDevice::~LoopDevice() {
  if (path.empty()) return;
  // Nothing more can be done about a device that will not detach.
  if (std::system(("losetup -d " + Quote(path) + " >/dev/null 2>&1").c_str()) != 0) return;
}

FuseUnmountGuard::~FuseUnmountGuard() {
  const std::string quiet = " " + Quote(path) + " >/dev/null 2>&1";
  if (std::system(("mountpoint -q" + quiet).c_str()) != 0) return;
  // A loop device just detached or a program just ended can hold the mount for a moment.
  for (int attempt = 0; attempt < 20; ++attempt) {
    if (std::system(("fusermount3 -u" + quiet).c_str()) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Gone from the tree at once; the server ends when the last user lets go.
  std::system(("fusermount3 -u -z" + quiet).c_str());
}

FailingBlockDevice::FailingBlockDevice(const std::string& server, const std::string& image,
                                       const std::string& mountPoint,
                                       const std::string& badRanges) {
  std::string output;
  const int status =
      RunShell(Quote(server) + " " + Quote(image) + " " + Quote(mountPoint), &output);
  served = std::make_unique<FuseUnmountGuard>(mountPoint);
  if (status != 0) {
    error = "faulty_image_fs did not mount (it needs /dev/fuse and fusermount3): " + output;
    return;
  }
  loop = std::make_unique<LoopDevice>(mountPoint + "/" + badRanges, 512);
  error = loop->Error();
}

const std::string& FailingBlockDevice::Path() const {
  static const std::string none;
  return loop ? loop->Path() : none;
}

bool FailingBlockDevice::DropCache() const {
  return !Path().empty() &&
         std::system(("blockdev --flushbufs " + Quote(Path()) + " >/dev/null 2>&1").c_str()) == 0;
}
