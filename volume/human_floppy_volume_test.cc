#include "volume/human_floppy_volume.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/fake_sector_device.h"
#include "tests/file_system_test_support.h"
#include "tests/hand_media.h"
#include "tools/image_builder.h"
#include "volume/media_recognition.h"

namespace {

constexpr size_t kCylinder = 16 * 1024;

// The whole file at `path` (at most 8000 bytes), or "<none>".
std::string Contents(HumanVolume* volume, const char* path) {
  std::unique_ptr<FileHandle> handle = volume->FileOpen(path, 0);
  char text[8000];
  const int count = handle ? volume->FileRead(handle.get(), text, sizeof(text)) : -1;
  return count < 0 ? "<none>" : std::string(text, static_cast<size_t>(count));
}

TEST(FloppyVolume, TheBpbWhenConsistentElseTheStandardLayoutOnA2hdSizeElseNothing) {
  // The builder's image, changed; the first record's root size and total (0: no record).
  struct RecognitionCase {
    const char* name;
    imagebuilder::FloppyOptions options;
    std::function<void(std::vector<uint8_t>*)> change;
    int32_t rootBytes, total;
  };
  const auto halfDisk = [](auto* i) { handmedia::PutBe16(i, 26, 616), i->resize(39 * kCylinder); };
  const RecognitionCase cases[] = {
      {"224 root entries", {}, [](auto* i) { handmedia::PutBe16(i, 24, 224); }, 7168, 1232},
      {"half a disk", {}, halfDisk, 6144, 616},
      {"media byte not the FAT's", {}, [](auto* i) { (*i)[28] = 0xF9; }, 6144, 1232},
      {"86 cylinders", {}, [](auto* i) { i->resize(86 * kCylinder); }, 0, 0},
      {"a sector past a track", {}, [](auto* i) { i->resize(i->size() + 1024); }, 0, 0},
      {"FAT of another media", {false, true}, [](auto* i) { (*i)[1024] = 0xF0; }, 0, 0},
      {"no branch", {}, [](auto* i) { (*i)[0] = 0x4E; }, 0, 0},
  };
  imagebuilder::PartitionLayout layout;
  layout.root = {fstest::File("A.TXT", fstest::Pattern(5000, 7))};
  for (const RecognitionCase& c : cases) {
    SCOPED_TRACE(c.name);
    imagebuilder::Image image = imagebuilder::BuildHumanFloppy(layout, c.options);
    ASSERT_EQ("", image.error);
    c.change(&image.bytes);
    FakeSectorDevice device(image.bytes, 512);
    std::unique_ptr<HumanVolume> volume = RecognizeMedia(&device, false);
    EXPECT_EQ(dynamic_cast<HumanFloppyVolume*>(volume.get()) != nullptr, c.total > 0);
    PartitionInfo table[15];
    ASSERT_EQ(HumanFloppyVolume(&device).ReadPartitionTable(table, 15), c.total > 0 ? 1 : 0);
    if (c.total == 0) continue;
    EXPECT_EQ(table[0].rootBytes, c.rootBytes);
    EXPECT_EQ(table[0].partitionSectors, c.total);
    ASSERT_EQ(volume->SelectPartition(table[0]), 0);
    if (c.rootBytes == 6144) {
      EXPECT_TRUE(Contents(volume.get(), "A.TXT") == fstest::Pattern(5000, 7));
    }
  }
}

TEST(FloppyVolume, EachDiskOfAContainerIsAPartition) {
  imagebuilder::PartitionLayout first, third;
  first.root = {fstest::File("A.TXT", "first disk")};
  third.root = {fstest::File("B.TXT", fstest::Pattern(4000, 3))};
  FakeSectorDevice device(imagebuilder::BuildHumanFloppy(first).bytes, 512);
  device.AddDisk(std::vector<uint8_t>(1232 * 1024, 0), 1024);
  device.AddDisk(imagebuilder::BuildHumanFloppy(third, {false, true}).bytes, 1024);  // BPB unfit
  std::unique_ptr<HumanVolume> volume = RecognizeMedia(&device, false);
  ASSERT_NE(volume, nullptr);
  PartitionInfo table[15];
  ASSERT_EQ(volume->ReadPartitionTable(table, 15), 3);
  EXPECT_EQ(std::vector<int32_t>({table[0].disk, table[1].bootUnreadable, table[2].disk}),
            std::vector<int32_t>({0, 1, 2}));
  ASSERT_EQ(volume->SelectPartition(table[2]), 0);
  EXPECT_TRUE(Contents(volume.get(), "B.TXT") == fstest::Pattern(4000, 3));
  ASSERT_EQ(volume->SelectPartition(table[0]), 0);
  EXPECT_EQ(Contents(volume.get(), "A.TXT"), "first disk");
  EXPECT_EQ(volume->SelectPartition(table[1]), -1);
}

}  // namespace
