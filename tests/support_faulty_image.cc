#include "tests/support_faulty_image.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

bool IsMountPoint(const std::string& path) {
  std::ifstream mounts("/proc/mounts");
  std::string device;
  std::string target;
  std::string rest;
  while (mounts >> device >> target && std::getline(mounts, rest)) {
    if (target == path) return true;
  }
  return false;
}

std::string FaultyImageMount::Start() {
  const std::string program = PEEK_FAULTY_IMAGE_FS;
  if (program.empty()) {
    return "faulty_image_fs was not built: install libfuse3-dev and configure again";
  }
  if (!fs::exists("/dev/fuse")) return "/dev/fuse is missing";
  if (std::system("command -v fusermount3 >/dev/null") != 0) {
    return "fusermount3 not found (install fuse3)";
  }
  fs::create_directory(mountPoint);
  std::string ranges;
  for (const ImageByteRange& range : failing) {
    ranges += (ranges.empty() ? "" : ",") + std::to_string(range.offset) + ":" +
              std::to_string(range.length);
  }
  const std::string log = scratch.File("faulty_image_fs.log");
  // The program returns once the mount is up.
  const std::string command =
      "'" + program + "' '" + image + "' '" + ranges + "' '" + mountPoint + "' 2>'" + log + "'";
  if (std::system(command.c_str()) != 0) {
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    return "mount did not come up: " + text.str();
  }
  mounted = true;
  return "";
}

std::string FaultyImageMount::Stop() {
  if (!mounted) return "";
  mounted = false;
  // Lazily, so descriptors still open on the file do not keep it mounted.
  std::system(("fusermount3 -u -z '" + mountPoint + "'").c_str());
  if (IsMountPoint(mountPoint)) return mountPoint + " is still mounted";
  std::error_code error;
  fs::remove(mountPoint, error);
  return "";
}
