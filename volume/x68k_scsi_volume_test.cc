#include "volume/x68k_scsi_volume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "tests/fake_sector_device.h"
#include "tests/hand_media.h"
#include "volume/media_recognition.h"
#include "volume/pc_fat_volume.h"

namespace {

using handmedia::BootFields;
using handmedia::X68kMedia;

class InspectableX68kVolume : public X68kScsiVolume {
 public:
  using HumanVolume::sectorMultiplier;
  using X68kScsiVolume::X68kScsiVolume;
};

// The marks of a PC boot sector, and a FAT of one sector: without one it is FAT32's.
void MakePcBootSector(std::vector<uint8_t>* image) {
  (*image)[0] = 0xEB;
  (*image)[22] = 1;
  (*image)[510] = 0x55;
  (*image)[511] = 0xAA;
}

struct RecognitionCase {
  const char* name;
  bool label;
  bool table;
  bool pcBoot;
  int x68k;
  int pc;
};

class Recognition : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(Recognition, AnswersByTheMarksOfEachFormat) {
  std::vector<uint8_t> image(8192, 0);
  if (GetParam().label) std::memcpy(image.data(), "X68SCSI1", 8);
  if (GetParam().table) std::memcpy(image.data() + 2048, "X68K", 4);
  if (GetParam().pcBoot) MakePcBootSector(&image);
  if (GetParam().label && GetParam().pcBoot) std::memcpy(image.data(), "X68SCSI1", 8);
  FakeSectorDevice device(image, 512);
  X68kScsiVolume x68k;
  PcFatVolume pc;
  EXPECT_EQ(x68k.Recognize(&device), GetParam().x68k);
  EXPECT_EQ(pc.Recognize(&device), GetParam().pc);
}

// A medium with both marks is X68000 format because that variant is asked first; the
// label alone without the table is not.
INSTANTIATE_TEST_SUITE_P(
    Media, Recognition,
    ::testing::Values(RecognitionCase{"X68000", true, true, false, 1, 0},
                      RecognitionCase{"LabelWithoutTable", true, false, false, 0, 0},
                      RecognitionCase{"TableWithoutLabel", false, true, false, 0, 0},
                      RecognitionCase{"PcBootSector", false, false, true, 0, 1},
                      RecognitionCase{"PcBootSectorAndTable", false, true, true, 0, 1},
                      RecognitionCase{"Blank", false, false, false, 0, 0}),
    [](const ::testing::TestParamInfo<RecognitionCase>& info) { return info.param.name; });

TEST(Recognition, LabelOnlyMediumWithPcBootSectorIsAPcVolume) {
  std::vector<uint8_t> image(8192, 0);
  std::memcpy(image.data(), "X68SCSI1", 8);
  image[510] = 0x55;
  image[511] = 0xAA;
  // The label's first byte is not 0xEB, so it cannot also be a PC boot sector.
  FakeSectorDevice device(image, 512);
  EXPECT_EQ(X68kScsiVolume().Recognize(&device), 0);
  EXPECT_EQ(PcFatVolume().Recognize(&device), 0);
}

// Marks written (X: label and table, P: PC boot sector), a sector whose first two reads
// fail (-1: none), rescue reading, and the variant of the volume given ("": none).
TEST(Recognition, RecognizeMediaGivesTheFirstVariantThatRecognisesTheMedium) {
  const std::tuple<const char*, int64_t, bool, const char*> cases[] = {
      {"X", -1, false, "X68000"}, {"P", -1, false, "PC"}, {"XP", -1, false, "X68000"},
      {"", -1, false, ""},        {"X", 4, false, ""},    {"X", 4, true, "X68000"}};
  for (const auto& [marks, failing, rescue, variant] : cases) {
    std::vector<uint8_t> image(8192, 0);
    if (std::strchr(marks, 'P') != nullptr) MakePcBootSector(&image);
    if (std::strchr(marks, 'X') != nullptr) {
      std::memcpy(image.data(), "X68SCSI1", 8);
      std::memcpy(image.data() + 2048, "X68K", 4);
    }
    FakeSectorDevice device(image, 512);
    if (failing >= 0) device.FailSectors(failing, 1, 2);
    bool recognized = false;
    std::unique_ptr<HumanVolume> volume = RecognizeMedia(&device, rescue, &recognized);
    const bool x68k = dynamic_cast<X68kScsiVolume*>(volume.get()) != nullptr;
    const bool pc = dynamic_cast<PcFatVolume*>(volume.get()) != nullptr;
    SCOPED_TRACE(std::string(marks) + " " + std::to_string(failing) + " " + std::to_string(rescue));
    EXPECT_STREQ(variant, x68k ? "X68000" : pc ? "PC" : "");
    EXPECT_EQ(volume != nullptr, recognized);
    if (volume) {
      EXPECT_EQ(rescue ? 1 : 0, volume->SetRescue(0));
    }
  }
}

// A medium that cannot be read, or a sector size that does not divide 4096, is never
// recognised and yields no partition.
TEST(Recognition, UnreadableMediaAreNotRecognised) {
  X68kMedia media(64 * 1024);
  media.AddPartition(0, 0x20, BootFields());
  MakePcBootSector(&media.image);
  std::memcpy(media.image.data(), "X68SCSI1", 8);
  for (int32_t sectorSize : {1536, 8192, 0, -512}) {
    FakeSectorDevice device(media.image, sectorSize > 0 ? sectorSize : 512);
    if (sectorSize <= 0) device.SetGeometry({sectorSize, 0, 0});
    X68kScsiVolume x68k(&device);
    PcFatVolume pc(&device);
    PartitionInfo table[15];
    EXPECT_EQ(x68k.Recognize(&device), 0) << sectorSize;
    EXPECT_EQ(pc.Recognize(&device), 0) << sectorSize;
    EXPECT_EQ(x68k.ReadPartitionTable(table, 15), 0) << sectorSize;
    EXPECT_EQ(pc.ReadPartitionTable(table, 15), 0) << sectorSize;
  }
  FakeSectorDevice failing(media.image, 512);
  failing.FailAllReads(true);
  PartitionInfo table[15];
  EXPECT_EQ(X68kScsiVolume().Recognize(&failing), 0);
  EXPECT_EQ(PcFatVolume().Recognize(&failing), 0);
  EXPECT_EQ(X68kScsiVolume(&failing).ReadPartitionTable(table, 15), 0);
  EXPECT_EQ(PcFatVolume(&failing).ReadPartitionTable(table, 15), 0);
}

TEST(Recognition, SectorSizesThatDivide4096ReadTheHeadInOneRequest) {
  X68kMedia media(64 * 1024);
  for (int32_t sectorSize : {256, 512, 1024, 2048, 4096}) {
    FakeSectorDevice device(media.image, sectorSize);
    EXPECT_EQ(X68kScsiVolume().Recognize(&device), 1);
    EXPECT_EQ(device.LogText(), "seek 0\nread 0+" + std::to_string(4096 / sectorSize) + "\n");
  }
}

struct TableCase {
  const char* name;
  std::vector<std::string> names;  // one per entry, in order; "" ends the table
  int capacity;
  int expected;
};

class PartitionTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(PartitionTable, CountsOrRejects) {
  X68kMedia media(1024 * 1024);
  int index = 0;
  for (const std::string& name : GetParam().names) {
    media.AddPartition(index, 0x20 + 0x40 * static_cast<uint32_t>(index), BootFields());
    std::memcpy(media.image.data() + 2064 + 16 * index, name.c_str(), 8);
    ++index;
  }
  FakeSectorDevice device(media.image, 512);
  X68kScsiVolume volume(&device);
  PartitionInfo table[15];
  EXPECT_EQ(volume.ReadPartitionTable(table, GetParam().capacity), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Media, PartitionTable,
    ::testing::Values(
        TableCase{"EmptyTable", {}, 15, 0}, TableCase{"OnePartition", {"Human68k"}, 15, 1},
        TableCase{"ThreePartitions", {"Human68k", "Human68k", "Human68k"}, 15, 3},
        TableCase{"ForeignEntryRejectsTheWholeTable", {"Human68k", "Human68k", "OtherOS!"}, 15, 0},
        TableCase{"CapacityZero", {"Human68k"}, 0, 0},
        TableCase{"CapacityOneOfThree", {"Human68k", "Human68k", "Human68k"}, 1, 1},
        TableCase{"FifteenPartitions", std::vector<std::string>(15, "Human68k"), 15, 15}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return info.param.name; });

TEST(PartitionTable, TopByteOfTheStartFieldIsIgnored) {
  X68kMedia plain(256 * 1024);
  plain.AddPartition(0, 0x00000020, BootFields());
  X68kMedia flagged(256 * 1024);
  flagged.AddPartition(0, 0x01000020, BootFields());
  FakeSectorDevice a(plain.image, 512);
  FakeSectorDevice b(flagged.image, 512);
  PartitionInfo ta[1];
  PartitionInfo tb[1];
  ASSERT_EQ(X68kScsiVolume(&a).ReadPartitionTable(ta, 1), 1);
  ASSERT_EQ(X68kScsiVolume(&b).ReadPartitionTable(tb, 1), 1);
  EXPECT_EQ(ta[0].startSector, 32);
  EXPECT_EQ(tb[0].startSector, 32);
  EXPECT_EQ(a.LogText(), b.LogText());
}

TEST(PartitionTable, SectorsSmallerThanTheDeviceRejectTheTable) {
  X68kMedia media(256 * 1024);
  BootFields small;
  small.sectorSize = 256;
  media.AddPartition(0, 0x20, small);
  FakeSectorDevice device(media.image, 512);
  InspectableX68kVolume volume(&device);
  PartitionInfo table[15];
  EXPECT_EQ(volume.ReadPartitionTable(table, 15), 0);
  EXPECT_EQ(volume.sectorMultiplier, 1);
}

TEST(PartitionTable, PartitionsBeyondTwoGibibytesAreReadWhereTheyAre) {
  // Start field 0x00C00000: 12 GiB into the disk, device sector 25165824.
  X68kMedia head(4096);
  head.AddPartition(0, 0x00C00000, BootFields());
  X68kMedia part(64 * 1024);  // reuse the writer for the boot sector at offset 0
  BootFields boot;
  boot.sectorSize = 512;
  boot.unitsBeforeFat = 1;
  boot.fatSectors = 2;
  boot.rootEntries = 16;
  boot.sectorsPerCluster = 1;
  part.image.assign(64 * 1024, 0);
  handmedia::PutBe16(&part.image, 18, boot.sectorSize);
  part.image[20] = boot.sectorsPerCluster;
  part.image[21] = 1;
  handmedia::PutBe16(&part.image, 22, 1);
  handmedia::PutBe16(&part.image, 24, 16);
  part.image[29] = 2;
  // FAT at partition sector 2: cluster 2 ends its chain; its data at sector 2+2+1.
  part.image[1024 + 4] = 0xFF;
  part.image[1024 + 5] = 0xFF;
  std::memset(part.image.data() + 5 * 512, 'Z', 512);
  const uint64_t start = 12ull << 30;
  FakeSectorDevice device(head.image, 512);
  device.AddExtent(start, part.image);  // the disk without the gigabytes between
  X68kScsiVolume volume(&device);
  PartitionInfo table[15];
  ASSERT_EQ(volume.ReadPartitionTable(table, 15), 1);
  EXPECT_EQ(table[0].startSector, 25165824);
  ASSERT_EQ(volume.SelectPartition(table[0]), 0);
  EXPECT_EQ(device.GetGeometry().baseSector, 25165824);
  auto chain = volume.LoadChain(2);
  ASSERT_NE(chain, nullptr);
  EXPECT_EQ(chain->bytes[0], 'Z');
  EXPECT_EQ(chain->bytes[511], 'Z');
}

}  // namespace
