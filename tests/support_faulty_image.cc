#include "tests/support_faulty_image.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

// The wait for the mount to come up and for the program to end is bounded by this many
// polls of kPoll each (10 s).
constexpr int kPolls = 1000;
constexpr std::chrono::milliseconds kPoll(10);

std::string ReadTrimmed(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string result = text.str();
  while (!result.empty() && (result.back() == '\n' || result.back() == ' ')) result.pop_back();
  return result;
}

// The program's error output and how it ended.
std::string Outcome(int status, const std::string& errorLog) {
  std::string how = "faulty_image_fs ended with ";
  if (WIFEXITED(status)) how += "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) how += "signal " + std::to_string(WTERMSIG(status));
  const std::string output = ReadTrimmed(errorLog);
  return output.empty() ? how : output + " (" + how + ")";
}

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    if (!directory.empty() && ::access((directory + "/" + program).c_str(), X_OK) == 0) {
      return true;
    }
  }
  return false;
}

// Starts `argv` (a program path or a name on the PATH) with no input and its output and
// error output in the file `output`. 0 and the process id in *pid, or the error number.
int Spawn(const std::vector<std::string>& argv, const std::string& output, pid_t* pid) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int failed = posix_spawnp(pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

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

FaultyImageMount::FaultyImageMount(const std::string& image,
                                   const std::vector<ImageByteRange>& failing)
    : image(image),
      failing(failing),
      mountPoint(scratch.File("mnt")),
      errorLog(scratch.File("faulty_image_fs.log")) {}

FaultyImageMount::~FaultyImageMount() { Stop(); }

std::string FaultyImageMount::ImagePath() const { return mountPoint + "/disk.img"; }

std::string FaultyImageMount::Start() {
  const std::string program = PEEK_FAULTY_IMAGE_FS;
  if (program.empty()) {
    return "faulty_image_fs was not built: libfuse3 was missing when the build was configured "
           "(install libfuse3-dev and configure again)";
  }
  if (child >= 0) return "faulty_image_fs is already running";
  if (::access("/dev/fuse", F_OK) != 0) return "/dev/fuse is missing";
  const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (fuse < 0) return std::string("/dev/fuse cannot be opened: ") + std::strerror(errno);
  ::close(fuse);
  // libfuse mounts through fusermount3 when not root, and Stop() may need it to unmount.
  if (!OnPath("fusermount3")) return "fusermount3 not found (install fuse3)";
  std::error_code error;
  fs::create_directory(mountPoint, error);
  if (!fs::path(mountPoint).is_absolute() || !fs::is_directory(mountPoint, error)) {
    return "cannot make the mount point " + mountPoint;
  }

  std::vector<std::string> argv = {program, image, mountPoint};
  for (const ImageByteRange& range : failing) {
    argv.push_back("--fail");
    argv.push_back(std::to_string(range.offset) + ":" + std::to_string(range.length));
  }
  pid_t pid = -1;
  const int failed = Spawn(argv, errorLog, &pid);
  if (failed != 0) return "cannot start " + program + ": " + std::strerror(failed);
  child = pid;

  const std::string file = ImagePath();
  for (int poll = 0; poll < kPolls; ++poll) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
      child = -1;
      return "mount did not come up: " + Outcome(status, errorLog);
    }
    struct stat attributes;
    if (::stat(file.c_str(), &attributes) == 0 && S_ISREG(attributes.st_mode)) return "";
    std::this_thread::sleep_for(kPoll);
  }
  const std::string log = ReadTrimmed(errorLog);
  Stop();
  return "mount did not come up within 10 s: " + log;
}

std::string FaultyImageMount::Stop() {
  if (child < 0) return "";
  // The program unmounts and ends on SIGTERM, lazily, so descriptors still open on the
  // file do not keep it mounted.
  ::kill(child, SIGTERM);
  int status = 0;
  bool ended = false;
  for (int poll = 0; poll < kPolls && !ended; ++poll) {
    ended = ::waitpid(child, &status, WNOHANG) == child;
    if (!ended) std::this_thread::sleep_for(kPoll);
  }
  if (!ended) {
    ::kill(child, SIGKILL);
    status = WaitFor(child);
  }
  child = -1;
  // A program that was killed leaves its mount behind, cut off from it.
  pid_t unmount = -1;
  if (IsMountPoint(mountPoint) &&
      Spawn({"fusermount3", "-u", "-z", mountPoint}, "/dev/null", &unmount) == 0) {
    WaitFor(unmount);
  }
  std::error_code error;
  fs::remove(mountPoint, error);
  if (ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  return ended ? Outcome(status, errorLog) : "faulty_image_fs did not end within 10 s";
}
