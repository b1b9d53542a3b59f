#include "disk/container_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <vector>

#include "disk/floppy_image_format.h"
#include "disk/physical_disk.h"
#include "platform/byte_order.h"
#include "tests/fake_aspi.h"
#include "tests/fake_platform_family.h"
#include "tests/fake_raw_drive.h"
#include "tests/fake_vwin32.h"
#include "tools/image_builder.h"

namespace {

namespace ib = imagebuilder;
using Bytes = std::vector<uint8_t>;

constexpr char kFile[] = "floppy.img";
constexpr char kRawText[] = "Physical Disk for WindowsNT(HDD/MO/...)";
constexpr size_t kStride = kD88SectorHeaderBytes + 1024;  // one stored D88 sector

// A raw 2HD image of `tracks` tracks: sector s holds s in its first two bytes, then `seed`.
Bytes RawFloppy(uint8_t seed, int tracks = 154) {
  Bytes raw(static_cast<size_t>(tracks) * 8 * 1024, seed);
  for (size_t s = 0; s < raw.size() / 1024; ++s) platform::StoreBe16(&raw[s * 1024], s);
  return raw;
}

// The sectors first .. last - 1.
std::vector<int> Range(int first, int last) {
  std::vector<int> sectors(last - first);
  std::iota(sectors.begin(), sectors.end(), first);
  return sectors;
}

// Byte offset of stored sector `k` of track `t` of a D88 written in order.
size_t D88Sector(const Bytes& d88, int t, int k) {
  return platform::LoadLe32(&d88[kD88TrackTable + 4 * t]) + k * kStride;
}

class ContainerDiskTest : public ::testing::Test {
 protected:
  // Opens `file` as an image file and looks at its head: `device` is the container, or null.
  void OpenContainer(Bytes file) {
    device.reset();
    drives.AddDrive(kFile, std::move(file));
    int error = 0;
    drive = drives.Open(kFile, &error);
    device = OpenContainerDisk(drive.get());
  }

  // The sectors of `disk` that fail read alone through ReadRescue; the rest must match `raw`.
  static std::vector<int> Unreadable(SectorDevice* disk, const Bytes& raw) {
    std::vector<int> bad;
    Bytes sector(1024);
    for (int s = 0; s < disk->GetGeometry().capacity; ++s) {
      if (disk->Seek(s, 0) < 0 || disk->ReadRescue(sector.data(), 1) < 0) {
        EXPECT_EQ(disk->GetError(), DeviceErrorRead);
        bad.push_back(s);
      } else if (!std::equal(sector.begin(), sector.end(), raw.begin() + s * 1024)) {
        ADD_FAILURE() << "sector " << s << " reads other bytes";
      }
    }
    return bad;
  }

  // Reads `count` sectors of `disk` from `first` in one Read.
  static int ReadRun(SectorDevice* disk, int first, unsigned count, Bytes* out) {
    out->resize(count * static_cast<size_t>(disk->GetGeometry().bytesPerSector));
    return disk->Seek(first, 0) < 0 ? -1 : disk->Read(out->data(), count);
  }

  FakeRawDriveService drives;
  std::unique_ptr<platform::RawDrive> drive;
  std::unique_ptr<SectorDevice> device;
};

TEST_F(ContainerDiskTest, PhysicalDiskReadsDimAndD88AsTheRawImageIn1024ByteSectors) {
  const Bytes raw = RawFloppy(0x5A);
  const Bytes dim = ib::WriteDim(raw);
  struct Case {
    const char* what;
    Bytes file;
    const char* describe;
    int bytesPerSector, driveSectorSize;
  };
  const Case cases[] = {
      {"DIM", dim, "DIM Floppy Image", 1024, 0},
      {"D88 shuffled", ib::WriteD88({raw}, {true, false, {}}), "D88 Floppy Image", 1024, 0},
      {"D88 of 160 tracks", ib::WriteD88({raw}, {false, true, {}}), "D88 Floppy Image", 1024, 0},
      {"raw image", raw, kRawText, 512, 0},
      {"DIM on a block device", dim, kRawText, 512, 512},
  };
  FakeAspiLibrary aspi;
  FakeVwin32Service vwin32({}, FakeVwin32Geometry());
  FakePlatformFamily family(platform::PlatformFamily::kNt);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    drives.AddDrive(kFile, c.file, c.driveSectorSize);
    PhysicalDisk disk(&drives, &aspi, &vwin32, &family);
    disk.SetName(kFile);
    ASSERT_EQ(disk.Open(0), 0);
    EXPECT_STREQ(disk.Describe(), c.describe);
    const bool container = c.bytesPerSector == 1024;
    EXPECT_EQ(disk.GetGeometry().bytesPerSector, c.bytesPerSector);
    EXPECT_EQ(disk.GetGeometry().capacity, container ? 1232 : static_cast<int>(c.file.size()));
    EXPECT_EQ(disk.DiskCount(), 1);
    if (container) {
      EXPECT_EQ(Unreadable(&disk, raw), std::vector<int>());
    }
    Bytes whole;
    ASSERT_EQ(ReadRun(&disk, 0, 1232 * 1024 / c.bytesPerSector, &whole), 0);
    EXPECT_TRUE(std::equal(whole.begin(), whole.end(), (container ? raw : c.file).begin()));
  }
}

TEST_F(ContainerDiskTest, AbsentAndBadSectorsFailAloneAndFailTheirRun) {
  const Bytes raw = RawFloppy(0x33);
  auto mark = [&raw](uint32_t sector, bool leftOut, uint8_t status, uint8_t deleted) {
    return ib::WriteD88({raw}, {true, false, {{0, sector, leftOut, status, deleted}}});
  };
  struct Case {
    const char* what;
    Bytes file;
    std::vector<int> bad;
  };
  const Case cases[] = {
      {"DIM track 5 absent", ib::WriteDim(raw, {{5}}), Range(40, 48)},
      {"D88 sector left out", mark(100, true, 0, 0), {100}},
      {"D88 ID CRC error", mark(101, false, kD88StatusIdCrc, 0), {101}},
      {"D88 data CRC error", mark(102, false, kD88StatusDataCrc, 0), {102}},
      {"D88 address mark missing", mark(103, false, kD88StatusNoAddress, 0), {103}},
      {"D88 data mark missing", mark(104, false, kD88StatusNoData, 0), {104}},
      {"D88 deleted byte", mark(105, false, 0, kD88DeletedData), {}},
      {"D88 deleted status", mark(106, false, kD88DeletedData, 0), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OpenContainer(c.file);
    ASSERT_TRUE(device);
    EXPECT_EQ(Unreadable(device.get(), raw), c.bad);
    Bytes run;
    const int first = c.bad.empty() ? 105 : c.bad.front();
    EXPECT_EQ(ReadRun(device.get(), first - 1, 3, &run), c.bad.empty() ? 0 : -1);
  }
}

TEST_F(ContainerDiskTest, EachDiskOfAD88IsSelectedWithItsOwnGeometry) {
  const Bytes first = RawFloppy(1);
  const Bytes second = RawFloppy(2, 40);
  OpenContainer(ib::WriteD88({first, second}));
  ASSERT_TRUE(device);
  EXPECT_EQ(device->DiskCount(), 2);
  EXPECT_EQ(Unreadable(device.get(), first), std::vector<int>());
  EXPECT_EQ(device->SelectDisk(1), 0);
  EXPECT_EQ(device->GetGeometry().capacity, 320);
  EXPECT_EQ(Unreadable(device.get(), second), std::vector<int>());
  EXPECT_EQ(device->SelectDisk(2), -1);
  EXPECT_EQ(device->GetError(), DeviceErrorUnsupported);
  EXPECT_EQ(device->GetGeometry().capacity, 320);  // still the second

  // A second disk whose size runs past the file is no disk.
  Bytes file = ib::WriteD88({first, first});
  platform::StoreLe32(&file[file.size() / 2 + kD88DiskSize], 0xFFFFFFFF);
  OpenContainer(file);
  EXPECT_EQ(device->DiskCount(), 1);
}

TEST_F(ContainerDiskTest, SeekCountsContainerSectorsAndKeepsTheSectorSize) {
  OpenContainer(ib::WriteDim(RawFloppy(0)));
  ASSERT_TRUE(device);
  EXPECT_EQ(device->Seek(3, 0), 3072);
  EXPECT_EQ(device->Seek(-1, 2), 1231 * 1024);
  EXPECT_EQ(device->Seek(-1233, 2), -1);
  EXPECT_EQ(device->GetError(), DeviceErrorRead);
  device->SetGeometry({512, 5, 2});
  EXPECT_EQ(device->GetGeometry().bytesPerSector, 1024);
  Bytes run;
  EXPECT_EQ(ReadRun(device.get(), 1229, 1, &run), 0);   // sector 1231, after the base of 2
  EXPECT_EQ(ReadRun(device.get(), 1229, 2, &run), -1);  // past the end
}

TEST_F(ContainerDiskTest, HostileHeadersReadAsRawOrWithTheirSectorsUnreadable) {
  const Bytes raw = RawFloppy(0x77);
  const Bytes d88 = ib::WriteD88({raw});
  const Bytes dim = ib::WriteDim(raw);
  const Bytes empty;
  struct Case {
    const char* what;
    const Bytes& file;
    // `value` stored at `at` in `width` bytes (0, 1, 2 or 4, little-endian); the file cut to
    // `size` bytes unless 0.
    size_t at, value, width, size;
    bool raw;
    std::vector<int> bad;  // of a container
  };
  const size_t track1 = D88Sector(d88, 1, 0), track2 = D88Sector(d88, 2, 0);
  const size_t dimCut = kDimHeaderBytes + 10 * 1024 + 512;
  const Case cases[] = {
      {"empty file", empty, 0, 0, 0, 0, true, {}},
      {"DIM of an unknown media type", dim, kDimMediaType, 0x42, 1, 0, true, {}},
      {"DIM cut within sector 10", dim, 0, 0, 0, dimCut, false, Range(10, 1232)},
      {"D88 track offset past the file", d88, kD88TrackTable + 12, 0x7FFFFFF0, 4, 0, true, {}},
      {"D88 track offset in the header", d88, kD88TrackTable, 0x100, 4, 0, true, {}},
      {"D88 size past the file", d88, kD88DiskSize, 0x7FFFFFFF, 4, 0, true, {}},
      {"D88 size below its header", d88, kD88DiskSize, 0x100, 4, 0, true, {}},
      {"D88 unknown media type", d88, kD88MediaType, 0x42, 1, 0, true, {}},
      {"D88 cut", d88, 0, 0, 0, d88.size() / 2, true, {}},
      {"D88 header cut", d88, 0, 0, 0, 0x200, true, {}},
      {"D88 size code 200", d88, D88Sector(d88, 0, 0) + kD88SizeCode, 200, 1, 0, false, {0}},
      {"D88 track says 200 sectors", d88, track2 + kD88SectorsInTrack, 200, 1, 0, false, {}},
      {"D88 track says 3 sectors", d88, track2 + kD88SectorsInTrack, 3, 1, 0, false, Range(19, 24)},
      {"D88 data size past the track", d88, track1 + kStride + kD88DataSize, 0xFFFF, 2, 0, false,
       Range(9, 16)},
      {"D88 sector number 0", d88, D88Sector(d88, 4, 0) + kD88Record, 0, 1, 0, false, {32}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = c.file;
    if (c.width == 1) file[c.at] = static_cast<uint8_t>(c.value);
    if (c.width == 2) platform::StoreLe16(&file[c.at], c.value);
    if (c.width == 4) platform::StoreLe32(&file[c.at], c.value);
    if (c.size != 0) file.resize(c.size);
    OpenContainer(file);
    ASSERT_EQ(device == nullptr, c.raw);
    if (device != nullptr) {
      EXPECT_EQ(device->GetGeometry().capacity, 1232);
      EXPECT_EQ(Unreadable(device.get(), raw), c.bad);
    }
  }
}

}  // namespace
