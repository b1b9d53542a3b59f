#include "platform/posix/scsi_generic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace platform {
namespace {

using ::testing::ElementsAre;

// A sysfs tree in a temporary folder: SCSI hosts, devices by address and sg nodes linking
// to them, as Linux lays them out.
class FakeSysfs {
 public:
  FakeSysfs() {
    char pattern[] = "/tmp/peek_sysfs_XXXXXX";
    root = ::mkdtemp(pattern) != nullptr ? pattern : "";
  }
  ~FakeSysfs() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  void AddHost(int host) { Make("/class/scsi_host/host" + std::to_string(host)); }

  // A device at `address` ("H:C:T:L") of peripheral type `type`, with the sg node `sg`.
  void AddDevice(const std::string& address, const std::string& sg, int type = 0) {
    const std::string device = "/devices/pci0000:00/host/target/" + address;
    Make(device);
    std::ofstream(root + device + "/type") << type << "\n";
    Make("/bus/scsi/devices");
    Link("../../../devices/pci0000:00/host/target/" + address, "/bus/scsi/devices/" + address);
    Make("/class/scsi_generic/" + sg);
    Link("../../../devices/pci0000:00/host/target/" + address,
         "/class/scsi_generic/" + sg + "/device");
  }

  std::string root;

 private:
  void Make(const std::string& path) { std::filesystem::create_directories(root + path); }
  void Link(const std::string& target, const std::string& path) {
    ASSERT_EQ(::symlink(target.c_str(), (root + path).c_str()), 0);
  }
};

TEST(ScsiGenericTest, DevicesAreFoundByHostTargetAndLunOnChannel0) {
  FakeSysfs sysfs;
  ASSERT_FALSE(sysfs.root.empty());
  sysfs.AddHost(0);
  sysfs.AddHost(2);
  sysfs.AddDevice("0:0:0:0", "sg0");
  sysfs.AddDevice("2:0:3:0", "sg1", 7);
  sysfs.AddDevice("2:0:3:1", "sg2");
  sysfs.AddDevice("2:1:3:0", "sg3");
  sysfs.AddDevice("12:0:13:0", "sg4");

  EXPECT_EQ(CountScsiHosts(sysfs.root), 2);
  struct Case {
    int host, target, lun;
    const char* node;
  };
  const Case cases[] = {{0, 0, 0, "sg0"}, {2, 3, 0, "sg1"}, {2, 3, 1, "sg2"}, {12, 13, 0, "sg4"},
                        {2, 3, 2, ""},    {1, 3, 0, ""},    {2, 13, 0, ""},   {1, 2, 0, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.host) + ":" + std::to_string(c.target) + ":" +
                 std::to_string(c.lun));
    EXPECT_EQ(FindScsiGenericNode(sysfs.root, c.host, c.target, c.lun), c.node);
    EXPECT_EQ(ScsiAddressExists(sysfs.root, c.host, c.target, c.lun), c.node[0] != '\0');
  }
  EXPECT_EQ(ScsiDeviceType(sysfs.root, 2, 3, 0), 7);
  EXPECT_EQ(ScsiDeviceType(sysfs.root, 2, 3, 5), -1);
}

TEST(ScsiGenericTest, MissingSysfsHasNoHostsAndNoDevices) {
  EXPECT_EQ(CountScsiHosts("/nonexistent"), 0);
  EXPECT_EQ(FindScsiGenericNode("/nonexistent", 0, 0, 0), "");
  EXPECT_FALSE(ScsiAddressExists("/nonexistent", 0, 0, 0));
}

TEST(ScsiGenericTest, InquiryAndSupportInfoFollowSysfs) {
  FakeSysfs sysfs;
  sysfs.AddHost(0);
  sysfs.AddHost(1);
  sysfs.AddHost(2);
  sysfs.AddDevice("1:0:3:0", "sg1", 5);
  auto library = NewScsiGenericAspiLibrary(sysfs.root, sysfs.root + "/dev");
  EXPECT_EQ(library->Load(), AspiLibrary::LoadResult::kLoadedNow);
  EXPECT_EQ(library->Load(), AspiLibrary::LoadResult::kAlreadyLoaded);
  EXPECT_EQ(library->GetSupportInfo(), 0x0103u);

  uint8_t inquiry[kAspiShortBlockBytes] = {1, 0, 1, 0, 0, 0, 0, 0, 3, 0};
  EXPECT_EQ(library->SendCommand(inquiry, AspiLocations()), 1u);
  EXPECT_EQ(inquiry[10], 5);
  inquiry[8] = 4;
  EXPECT_EQ(library->SendCommand(inquiry, AspiLocations()), kAspiStatusNoDevice);

  // An exec request whose sg node cannot be opened completes at once as no device.
  uint8_t exec[kAspiExecBlockBytes] = {2, 0, 1, 0x48, 0, 0, 0, 0, 3};
  exec[20] = 14;
  exec[21] = 6;
  auto event = library->CreateEvent();
  AspiLocations locations;
  locations.event = event.get();
  library->SendCommand(exec, locations);
  EXPECT_EQ(exec[1], kAspiStatusNoDevice);
  EXPECT_EQ(event->Wait(0), AspiEvent::WaitResult::kSignalled);
}

TEST(ScsiGenericTest, WritesAreNeverCarried) {
  auto library = NewScsiGenericAspiLibrary("/nonexistent", "/nonexistent");
  uint8_t exec[kAspiExecBlockBytes] = {2, 0, 0, 0x50};
  exec[21] = 6;
  exec[48] = 0x0A;  // WRITE(6)
  library->SendCommand(exec, AspiLocations());
  EXPECT_EQ(exec[1], kAspiStatusInvalidCommand);
}

struct StatusCase {
  const char* what;
  ScsiGenericOutcome::Kind kind;
  uint8_t scsiStatus;
  uint16_t hostStatus;
  uint16_t driverStatus;
  size_t senseBytes;
  uint8_t srbStatus, haStat, targStat;
  uint8_t senseKey;  // byte 2 of the sense area after filling
};

TEST(ScsiGenericTest, OutcomesMapToAspiStatus) {
  const StatusCase cases[] = {
      {"good", ScsiGenericOutcome::kCarried, 0x00, 0, 0, 0, 1, 0, 0, 0},
      {"check condition, not ready", ScsiGenericOutcome::kCarried, 0x02, 0, 0x08, 18, 4, 0, 2, 2},
      {"check condition without sense", ScsiGenericOutcome::kCarried, 0x02, 0, 0, 0, 4, 0, 2, 0},
      {"busy", ScsiGenericOutcome::kCarried, 0x08, 0, 0, 0, 4, 0, 8, 0},
      {"selection timeout", ScsiGenericOutcome::kCarried, 0, 0x01, 0, 0, 0x82, 0x11, 0, 0},
      {"command timeout", ScsiGenericOutcome::kCarried, 0, 0x03, 0, 0, 2, 0x0B, 0, 0},
      {"host error", ScsiGenericOutcome::kCarried, 0, 0x07, 0, 0, 4, 0, 0, 0},
      {"driver error", ScsiGenericOutcome::kCarried, 0, 0, 0x04, 0, 4, 0, 0, 0},
      {"ioctl failed", ScsiGenericOutcome::kNotCarried, 0, 0, 0, 0, 4, 0, 0, 0},
      {"no sg node", ScsiGenericOutcome::kNoDevice, 0, 0, 0, 0, 0x82, 0x11, 0, 0},
  };
  // Sense data as a drive reports NOT READY, MEDIUM NOT PRESENT.
  uint8_t sense[32] = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00, 0xEE, 0xEE, 0xEE};
  for (const StatusCase& c : cases) {
    SCOPED_TRACE(c.what);
    uint8_t block[kAspiExecBlockBytes] = {};
    block[20] = 14;
    std::memset(block + 64, 0x55, 16);
    ScsiGenericOutcome outcome;
    outcome.kind = c.kind;
    outcome.scsiStatus = c.scsiStatus;
    outcome.hostStatus = c.hostStatus;
    outcome.driverStatus = c.driverStatus;
    outcome.sense = sense;
    outcome.senseBytes = c.senseBytes;
    FillExecStatus(block, outcome);
    EXPECT_EQ(block[1], c.srbStatus);
    EXPECT_EQ(block[22], c.haStat);
    EXPECT_EQ(block[23], c.targStat);
    EXPECT_EQ(block[64 + 2], c.senseKey);
  }
}

TEST(ScsiGenericTest, SenseIsCutToSenseLength) {
  uint8_t sense[32];
  for (int i = 0; i < 32; ++i) sense[i] = static_cast<uint8_t>(i + 1);
  uint8_t block[kAspiExecBlockBytes] = {};
  block[20] = 14;
  ScsiGenericOutcome outcome;
  outcome.kind = ScsiGenericOutcome::kCarried;
  outcome.scsiStatus = 0x02;
  outcome.driverStatus = 0x08;
  outcome.sense = sense;
  outcome.senseBytes = 32;
  FillExecStatus(block, outcome);
  EXPECT_THAT(std::vector<uint8_t>(block + 64, block + 80),
              ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 0));
}

}  // namespace
}  // namespace platform
