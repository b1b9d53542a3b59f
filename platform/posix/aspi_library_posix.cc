#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/aspi_library.h"
#include "platform/aspi_request_block.h"
#include "platform/byte_order.h"
#include "platform/posix/scsi_generic.h"

namespace platform {
namespace {

// Linux host_status (DID_*) and driver_status (DRIVER_*) values.
constexpr uint16_t kDidNoConnect = 0x01;
constexpr uint16_t kDidTimeOut = 0x03;
constexpr uint16_t kDriverSense = 0x08;

constexpr uint8_t kScsiCheckCondition = 0x02;

// Each SCSI command may take this long, as long as the ASPI user waits for it.
constexpr unsigned kCommandTimeoutMs = 5000;

std::string AddressText(int host, int target, int lun) {
  return std::to_string(host) + ":0:" + std::to_string(target) + ":" + std::to_string(lun);
}

void SleepMilliseconds(uint32_t milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

// A closed-on-destruction descriptor.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(-1); }
  void Reset(int newFd) {
    if (fd >= 0) ::close(fd);
    fd = newFd;
  }
  int Get() const { return fd; }

 private:
  int fd = -1;
};

// SG_IO completes before the ioctl returns, so nothing signals this event from outside:
// a wait on an event that is not set can only time out.
class ScsiGenericEvent final : public AspiEvent {
 public:
  void Reset() override { signalled = false; }
  WaitResult Wait(uint32_t milliseconds) override {
    if (signalled) {
      signalled = false;
      return WaitResult::kSignalled;
    }
    SleepMilliseconds(milliseconds);
    return WaitResult::kTimeout;
  }
  void Signal() { signalled = true; }

 private:
  bool signalled = false;
};

class ScsiGenericAspiLibrary final : public AspiLibrary {
 public:
  ScsiGenericAspiLibrary(std::string sysfsRoot, std::string devRoot)
      : sysfsRoot(std::move(sysfsRoot)), devRoot(std::move(devRoot)) {}

  LoadResult Load() override {
    if (loaded) return LoadResult::kAlreadyLoaded;
    loaded = true;
    return LoadResult::kLoadedNow;
  }
  bool HasGetSupportInfo() override { return loaded; }
  bool HasSendCommand() override { return loaded; }

  uint32_t GetSupportInfo() override {
    const int hosts = std::min(CountScsiHosts(sysfsRoot), 255);
    return static_cast<uint32_t>(kAspiStatusComplete) << 8 | static_cast<uint32_t>(hosts);
  }

  uint32_t SendCommand(uint8_t* block, const AspiLocations& locations) override {
    switch (block[kSrbCmd]) {
      case kAspiGetDeviceType: {
        if (!ScsiAddressExists(sysfsRoot, block[kSrbHaId], block[kSrbTarget], block[kSrbLun])) {
          block[kSrbStatus] = kAspiStatusNoDevice;
          return kAspiStatusNoDevice;
        }
        const int type =
            ScsiDeviceType(sysfsRoot, block[kSrbHaId], block[kSrbTarget], block[kSrbLun]);
        block[kSrbDeviceType] = static_cast<uint8_t>(type < 0 ? 0x1F : type);
        block[kSrbStatus] = kAspiStatusComplete;
        return kAspiStatusComplete;
      }
      case kAspiExecScsiCommand: {
        Execute(block, locations.buffer);
        if ((block[kSrbFlags] & kAspiFlagEventNotify) != 0 && locations.event != nullptr) {
          static_cast<ScsiGenericEvent*>(locations.event)->Signal();
        }
        return block[kSrbStatus];
      }
      case kAspiAbortRequest:
        // Every request has completed by the time it could be aborted.
        block[kSrbStatus] = kAspiStatusComplete;
        return kAspiStatusComplete;
      default:
        block[kSrbStatus] = kAspiStatusInvalidCommand;
        return kAspiStatusInvalidCommand;
    }
  }

  std::unique_ptr<AspiEvent> CreateEvent() override { return std::make_unique<ScsiGenericEvent>(); }

  void Pause(uint32_t milliseconds) override { SleepMilliseconds(milliseconds); }

 private:
  void Execute(uint8_t* block, void* buffer) {
    const int host = block[kSrbHaId];
    const int target = block[kSrbTarget];
    const int lun = block[kSrbLun];
    const uint32_t length = LoadLe32(block + kSrbBufLen);
    const uint8_t cdbLength = block[kSrbCdbLen];
    ScsiGenericOutcome outcome;
    // Only commands that bring data in (or none) are carried: nothing is ever written.
    if ((block[kSrbFlags] & kAspiFlagDataOut) != 0 || cdbLength == 0 || cdbLength > kSrbCdbBytes ||
        (length > 0 && buffer == nullptr)) {
      block[kSrbStatus] = kAspiStatusInvalidCommand;
      return;
    }
    const int fd = OpenNode(host, target, lun);
    if (fd < 0) {
      outcome.kind = ScsiGenericOutcome::kNoDevice;
      FillExecStatus(block, outcome);
      return;
    }

    uint8_t sense[32] = {};
    sg_io_hdr_t request;
    std::memset(&request, 0, sizeof request);
    request.interface_id = 'S';
    request.dxfer_direction =
        length > 0 && (block[kSrbFlags] & kAspiFlagDataIn) != 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    if (request.dxfer_direction == SG_DXFER_NONE && length > 0) {
      block[kSrbStatus] = kAspiStatusInvalidCommand;
      return;
    }
    request.cmd_len = cdbLength;
    request.cmdp = block + kSrbCdb;
    request.dxfer_len = request.dxfer_direction == SG_DXFER_NONE ? 0 : length;
    request.dxferp = buffer;
    request.mx_sb_len = sizeof sense;
    request.sbp = sense;
    request.timeout = kCommandTimeoutMs;

    int result;
    do {
      result = ::ioctl(fd, SG_IO, &request);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
      outcome.kind = ScsiGenericOutcome::kNotCarried;
    } else {
      outcome.kind = ScsiGenericOutcome::kCarried;
      outcome.scsiStatus = request.status;
      outcome.hostStatus = request.host_status;
      outcome.driverStatus = request.driver_status;
      outcome.sense = sense;
      outcome.senseBytes = std::min<size_t>(request.sb_len_wr, sizeof sense);
    }
    FillExecStatus(block, outcome);
  }

  // The node of the address, kept open while the same address is used.
  int OpenNode(int host, int target, int lun) {
    const std::string address = AddressText(host, target, lun);
    if (node.Get() >= 0 && nodeAddress == address) return node.Get();
    node.Reset(-1);
    nodeAddress.clear();
    const std::string name = FindScsiGenericNode(sysfsRoot, host, target, lun);
    if (name.empty()) return -1;
    const std::string path = devRoot + "/" + name;
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    node.Reset(fd);
    nodeAddress = address;
    return fd;
  }

  const std::string sysfsRoot;
  const std::string devRoot;
  bool loaded = false;
  Descriptor node;
  std::string nodeAddress;
};

// The address a sysfs device name "H:C:T:L" holds, when it holds exactly four numbers.
bool ParseAddress(const std::string& text, int* parts) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t end = i < 3 ? text.find(':', start) : text.size();
    if (end == std::string::npos || end == start || end - start > 9) return false;
    int value = 0;
    for (size_t k = start; k < end; ++k) {
      if (text[k] < '0' || text[k] > '9') return false;
      value = value * 10 + (text[k] - '0');
    }
    parts[i] = value;
    start = end + 1;
  }
  return true;
}

}  // namespace

int CountScsiHosts(const std::string& sysfsRoot) {
  DIR* dir = ::opendir((sysfsRoot + "/class/scsi_host").c_str());
  if (dir == nullptr) return 0;
  int count = 0;
  while (dirent* entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, "host", 4) == 0) ++count;
  }
  ::closedir(dir);
  return count;
}

bool ScsiAddressExists(const std::string& sysfsRoot, int host, int target, int lun) {
  struct stat info;
  const std::string path = sysfsRoot + "/bus/scsi/devices/" + AddressText(host, target, lun);
  return ::stat(path.c_str(), &info) == 0;
}

int ScsiDeviceType(const std::string& sysfsRoot, int host, int target, int lun) {
  const std::string path =
      sysfsRoot + "/bus/scsi/devices/" + AddressText(host, target, lun) + "/type";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return -1;
  int type = -1;
  if (std::fscanf(file, "%3d", &type) != 1 || type < 0 || type > 0x1F) type = -1;
  std::fclose(file);
  return type;
}

std::string FindScsiGenericNode(const std::string& sysfsRoot, int host, int target, int lun) {
  const std::string classDir = sysfsRoot + "/class/scsi_generic";
  DIR* dir = ::opendir(classDir.c_str());
  if (dir == nullptr) return std::string();
  std::string found;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, 2, "sg") != 0) continue;
    char link[4096];
    const ssize_t n =
        ::readlink((classDir + "/" + name + "/device").c_str(), link, sizeof link - 1);
    if (n <= 0) continue;
    const std::string linkTarget(link, static_cast<size_t>(n));
    const size_t slash = linkTarget.find_last_of('/');
    const std::string last = slash == std::string::npos ? linkTarget : linkTarget.substr(slash + 1);
    int parts[4];
    if (!ParseAddress(last, parts)) continue;
    if (parts[0] == host && parts[1] == 0 && parts[2] == target && parts[3] == lun) {
      found = name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

void FillExecStatus(uint8_t* block, const ScsiGenericOutcome& outcome) {
  block[kSrbHaStat] = 0;
  block[kSrbTargStat] = 0;
  std::memset(block + kSrbSense, 0, kSrbSenseBytes);
  switch (outcome.kind) {
    case ScsiGenericOutcome::kNoDevice:
      block[kSrbStatus] = kAspiStatusNoDevice;
      block[kSrbHaStat] = kAspiHostSelectionTimeout;
      return;
    case ScsiGenericOutcome::kNotCarried:
      block[kSrbStatus] = kAspiStatusError;
      return;
    case ScsiGenericOutcome::kCarried:
      break;
  }
  if (outcome.hostStatus == kDidNoConnect) {
    block[kSrbStatus] = kAspiStatusNoDevice;
    block[kSrbHaStat] = kAspiHostSelectionTimeout;
    return;
  }
  if (outcome.hostStatus == kDidTimeOut) {
    block[kSrbStatus] = kAspiStatusAborted;
    block[kSrbHaStat] = kAspiHostCommandTimeout;
    return;
  }
  block[kSrbTargStat] = outcome.scsiStatus;
  const bool hasSense =
      outcome.senseBytes > 0 && outcome.sense != nullptr &&
      ((outcome.driverStatus & kDriverSense) != 0 || outcome.scsiStatus == kScsiCheckCondition);
  if (hasSense) {
    const size_t n = std::min<size_t>({outcome.senseBytes, block[kSrbSenseLen], kSrbSenseBytes});
    std::memcpy(block + kSrbSense, outcome.sense, n);
  }
  // Any host or driver fault, or any SCSI status but GOOD, fails the request.
  const bool good = outcome.hostStatus == 0 && outcome.scsiStatus == 0 &&
                    (outcome.driverStatus & ~kDriverSense) == 0 && !hasSense;
  block[kSrbStatus] = good ? kAspiStatusComplete : kAspiStatusError;
}

std::unique_ptr<AspiLibrary> NewScsiGenericAspiLibrary(const std::string& sysfsRoot,
                                                       const std::string& devRoot) {
  return std::make_unique<ScsiGenericAspiLibrary>(sysfsRoot, devRoot);
}

std::unique_ptr<AspiLibrary> NewSystemAspiLibrary() {
  return NewScsiGenericAspiLibrary("/sys", "/dev");
}

}  // namespace platform
