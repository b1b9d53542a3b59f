#include "tests/support_loop_device.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Runs `command` through the shell with its output in *output; the exit status.
int RunShell(const std::string& command, const std::string& outputFile, std::string* output) {
  const int status = std::system((command + " >" + outputFile + " 2>&1").c_str());
  std::ifstream in(outputFile);
  std::stringstream text;
  text << in.rdbuf();
  *output = text.str();
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
  const std::string log = file + ".losetup";
  const int status = RunShell("losetup --find --show --read-only --sector-size " +
                                  std::to_string(sectorSize) + " " + Quote(file),
                              log, &output);
  if (status == 0 && output.compare(0, 9, "/dev/loop") == 0) {
    path = output;
  } else {
    error = "losetup failed: " + output;
  }
  std::error_code ignored;
  fs::remove(log, ignored);
}

LoopDevice::~LoopDevice() {
  if (path.empty()) return;
  // Nothing more can be done about a device that will not detach.
  if (std::system(("losetup -d " + Quote(path) + " >/dev/null 2>&1").c_str()) != 0) return;
}
