#include "disk/win95_disk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/fake_vwin32.h"

namespace {

using ::testing::ElementsAre;
using Request = FakeVwin32Service::Request;

// Sector s of the image holds the byte (s & 0xFF) throughout.
std::vector<uint8_t> Image(uint32_t sectors, uint32_t sectorSize = 512) {
  std::vector<uint8_t> image(static_cast<size_t>(sectors) * sectorSize);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i / sectorSize);
  return image;
}

FakeVwin32Geometry Geometry(uint16_t spt, uint16_t heads, uint32_t hidden = 0, uint32_t large = 0) {
  FakeVwin32Geometry g;
  g.sectorsPerTrack = spt;
  g.heads = heads;
  g.hiddenSectors = hidden;
  g.largeSectorCount = large;
  return g;
}

Request ReadTrack(uint16_t cylinder, uint16_t head, uint16_t sector, uint16_t count) {
  Request r{1, 0x0861};
  r.cylinder = cylinder;
  r.head = head;
  r.sector = sector;
  r.count = count;
  return r;
}

const Request kParameters{1, 0x0860};

TEST(Win95DiskTest, OpenReadsTheParameters) {
  FakeVwin32Service port(Image(4), Geometry(32, 4, 63, 1000));
  Win95Disk disk(&port);
  disk.SetName("A:");
  ASSERT_EQ(disk.Open(0), 0);
  EXPECT_THAT(port.Log(), ElementsAre(kParameters));
  const DeviceGeometry g = disk.GetGeometry();
  EXPECT_EQ(g.bytesPerSector, 512);
  EXPECT_EQ(g.capacity, 1063);
  EXPECT_EQ(port.OpenPorts(), 1);
  EXPECT_STREQ(disk.Describe(), "Physical Disk for Windows95(HDD/MO/...)");
}

TEST(Win95DiskTest, DriveLetters) {
  struct Case {
    const char* name;
    int drive;  // 0: refused with DeviceErrorOpen before VWIN32 is opened
  };
  const Case cases[] = {{"A:", 1}, {"a:", 1}, {"z:\\x", 26}, {"AB:", 0}, {"", 0},
                        {"A", 0},  {"@:", 0}, {"[:", 0},     {"1:", 0},  {"\x81:", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeVwin32Service port(Image(4), Geometry(32, 4));
    Win95Disk disk(&port);
    disk.SetName(c.name);
    if (c.drive == 0) {
      EXPECT_EQ(disk.Open(0), -1);
      EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
      EXPECT_EQ(port.PortsOpened(), 0);
    } else {
      ASSERT_EQ(disk.Open(0), 0);
      EXPECT_EQ(port.Log().at(0).drive, static_cast<uint32_t>(c.drive));
    }
  }
}

TEST(Win95DiskTest, NameLongerThan259BytesIsRefused) {
  FakeVwin32Service port(Image(4), Geometry(32, 4));
  Win95Disk disk(&port);
  const std::string name = "A:" + std::string(258, 'x');
  disk.SetName(name.c_str());
  EXPECT_EQ(disk.Open(0), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
}

TEST(Win95DiskTest, TrackAddressesOfPositions) {
  struct Case {
    int position;
    Request expected;
  };
  const Case cases[] = {
      {100, ReadTrack(0, 3, 4, 1)},
      {128, ReadTrack(1, 0, 0, 1)},
      {31, ReadTrack(0, 0, 31, 1)},
      {0, ReadTrack(0, 0, 0, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    FakeVwin32Service port(Image(200), Geometry(32, 4));
    Win95Disk disk(&port);
    disk.SetName("A:");
    ASSERT_EQ(disk.Open(0), 0);
    disk.Seek(c.position, 0);
    uint8_t buffer[512];
    ASSERT_EQ(disk.Read(buffer, 1), 0);
    EXPECT_EQ(port.Log().back(), c.expected);
    EXPECT_EQ(buffer[0], c.position);
  }
}

TEST(Win95DiskTest, ReadGoesInRequestsOfOneTrack) {
  FakeVwin32Service port(Image(400), Geometry(63, 16));
  Win95Disk disk(&port);
  disk.SetName("A:");
  ASSERT_EQ(disk.Open(0), 0);
  disk.Seek(10, 0);
  std::vector<uint8_t> buffer(100 * 512);
  ASSERT_EQ(disk.Read(buffer.data(), 100), 0);
  EXPECT_THAT(port.Log(),
              ElementsAre(kParameters, ReadTrack(0, 0, 10, 63), ReadTrack(0, 1, 10, 37)));
  for (int s = 0; s < 100; ++s) EXPECT_EQ(buffer[s * 512], 10 + s);
  EXPECT_EQ(disk.Seek(0, 1), 110);
}

TEST(Win95DiskTest, FailingChunkKeepsTheOnesBefore) {
  FakeVwin32Service port(Image(400), Geometry(63, 16));
  port.FailSector(70);
  Win95Disk disk(&port);
  disk.SetName("A:");
  ASSERT_EQ(disk.Open(0), 0);
  std::vector<uint8_t> buffer(100 * 512, 0xEE);
  EXPECT_EQ(disk.Read(buffer.data(), 100), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
  EXPECT_EQ(buffer[62 * 512], 62);
  EXPECT_EQ(buffer[63 * 512], 0xEE);
  EXPECT_EQ(disk.Seek(0, 1), 63);
}

TEST(Win95DiskTest, CountZeroSendsNothing) {
  FakeVwin32Service port(Image(4), Geometry(32, 4));
  Win95Disk disk(&port);
  disk.SetName("A:");
  ASSERT_EQ(disk.Open(0), 0);
  EXPECT_EQ(disk.Read(nullptr, 0), 0);
  EXPECT_EQ(port.Log().size(), 1u);
}

TEST(Win95DiskTest, CylinderBeyond16BitsIsRefused) {
  FakeVwin32Service port(Image(4), Geometry(1, 1));
  Win95Disk disk(&port);
  disk.SetName("A:");
  ASSERT_EQ(disk.Open(0), 0);
  disk.Seek(0x10000, 0);
  uint8_t buffer[512];
  EXPECT_EQ(disk.Read(buffer, 1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
  EXPECT_EQ(port.Log().size(), 1u);
}

TEST(Win95DiskTest, SeekOrigins) {
  FakeVwin32Service port(Image(4), Geometry(32, 4, 63, 1000));
  Win95Disk disk(&port);
  disk.SetName("A:");
  ASSERT_EQ(disk.Open(0), 0);
  disk.SetGeometry({512, 1063, 64});
  EXPECT_EQ(disk.Seek(10, 0), 74);
  EXPECT_EQ(disk.Seek(6, 1), 80);
  EXPECT_EQ(disk.Seek(-3, 1), 77);
  EXPECT_EQ(disk.Seek(0, 2), 1063);
  EXPECT_EQ(disk.Seek(-1, 2), 1062);
  EXPECT_EQ(disk.Seek(5, 7), 5);
  EXPECT_EQ(port.Log().size(), 1u);  // positioning sends nothing
}

TEST(Win95DiskTest, OpenFailuresLeaveNoHandle) {
  struct Case {
    const char* what;
    void (*setup)(FakeVwin32Service*);
    int expected;
  };
  const Case cases[] = {
      {"VWIN32 missing", [](FakeVwin32Service* p) { p->FailOpen(2); }, 2},
      {"parameters answered with carry", [](FakeVwin32Service* p) { p->CarryOnParameters(21); },
       21},
      {"carry without a system error", [](FakeVwin32Service* p) { p->CarryOnParameters(0); },
       DeviceErrorOpen},
      {"parameters refused", [](FakeVwin32Service* p) { p->RefuseParameters(50); }, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeVwin32Service port(Image(4), Geometry(32, 4));
    c.setup(&port);
    Win95Disk disk(&port);
    disk.SetName("C:");
    EXPECT_EQ(disk.Open(0), -1);
    EXPECT_EQ(disk.GetError(), c.expected);
    EXPECT_EQ(port.OpenPorts(), 0);
    EXPECT_EQ(disk.Close(), -1);
  }
}

TEST(Win95DiskTest, ParameterBlockWithoutSectorsPerTrackOrSectorSizeIsRefused) {
  for (FakeVwin32Geometry g : {Geometry(0, 4), Geometry(32, 4)}) {
    if (g.sectorsPerTrack != 0) g.bytesPerSector = 0;
    FakeVwin32Service port(Image(4), g);
    Win95Disk disk(&port);
    disk.SetName("A:");
    EXPECT_EQ(disk.Open(0), -1);
    EXPECT_EQ(disk.GetError(), DeviceErrorOpen);
    EXPECT_EQ(port.OpenPorts(), 0);
  }
}

TEST(Win95DiskTest, FailedReopenKeepsTheOpenHandle) {
  FakeVwin32Service port(Image(200), Geometry(32, 4));
  Win95Disk disk(&port);
  disk.SetName("A:");
  ASSERT_EQ(disk.Open(0), 0);
  port.CarryOnParameters(21);
  disk.SetName("B:");
  EXPECT_EQ(disk.Open(0), -1);
  EXPECT_EQ(port.OpenPorts(), 1);
  uint8_t buffer[512];
  ASSERT_EQ(disk.Read(buffer, 1), 0);
  EXPECT_EQ(port.Log().back().drive, 1u);  // still drive A
}

TEST(Win95DiskTest, CloseTwiceAndRefusals) {
  FakeVwin32Service port(Image(4), Geometry(32, 4));
  Win95Disk disk(&port);
  disk.SetName("A:");
  EXPECT_EQ(disk.Open(1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorUnsupported);
  EXPECT_EQ(port.PortsOpened(), 0);
  ASSERT_EQ(disk.Open(0), 0);
  EXPECT_EQ(disk.Write("x", 1), -1);
  EXPECT_EQ(disk.Reserved(), -1);
  EXPECT_EQ(disk.Close(), 0);
  EXPECT_EQ(port.OpenPorts(), 0);
  EXPECT_EQ(disk.Close(), -1);
  uint8_t buffer[512];
  EXPECT_EQ(disk.Read(buffer, 1), -1);
  EXPECT_EQ(disk.GetError(), DeviceErrorRead);
}

}  // namespace
