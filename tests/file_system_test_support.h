#ifndef TESTS_FILE_SYSTEM_TEST_SUPPORT_H_
#define TESTS_FILE_SYSTEM_TEST_SUPPORT_H_

// A volume mounted on the first partition of a builder image, for the tests of directory
// search, the current directory and file reading.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "tests/fake_sector_device.h"
#include "tools/image_builder.h"
#include "volume/human_floppy_volume.h"
#include "volume/human_volume.h"
#include "volume/pc_fat_volume.h"
#include "volume/x68k_scsi_volume.h"

namespace fstest {

using imagebuilder::Dir;
using imagebuilder::File;
using imagebuilder::Node;

// A volume variant that shows the current cluster to the tests.
template <typename Variant>
class Probe : public Variant {
 public:
  using Variant::Variant;
  uint16_t CurrentCluster() const { return this->currentCluster; }
};

// A floppy image has the standard 2HD layout and scattered chains.
enum class Media { kX68k, kPc, kFloppy };

// `count` bytes that differ from their neighbours, so that a misplaced byte shows.
inline std::string Pattern(size_t count, uint8_t seed) {
  std::string text(count, '\0');
  for (size_t i = 0; i < count; ++i) text[i] = static_cast<char>(seed + i * 13 + i / 251);
  return text;
}

// One partition of 1024-byte sectors, one sector a cluster, on 512-byte device sectors,
// unless a test says otherwise.
inline imagebuilder::PartitionLayout Partition(std::vector<Node> root, uint16_t rootEntries = 64) {
  imagebuilder::PartitionLayout layout;
  layout.rootEntries = rootEntries;
  layout.root = std::move(root);
  return layout;
}

class MountedImage {
 public:
  explicit MountedImage(const imagebuilder::X68kImageLayout& layout)
      : media(Media::kX68k), image(imagebuilder::BuildX68k(layout)) {
    EXPECT_EQ("", image.error);
  }
  MountedImage(const imagebuilder::PartitionLayout& layout, Media media = Media::kX68k)
      : media(media) {
    if (media == Media::kX68k) {
      imagebuilder::X68kImageLayout x68k;
      x68k.partitions.push_back(layout);
      image = imagebuilder::BuildX68k(x68k);
    } else if (media == Media::kFloppy) {
      imagebuilder::FloppyOptions options;
      options.scatter = true;
      image = imagebuilder::BuildHumanFloppy(layout, options);
    } else {
      imagebuilder::PcImageLayout pc;
      pc.partition = layout;
      image = imagebuilder::BuildPc(pc);
    }
    EXPECT_EQ("", image.error);
  }

  // Builds the device and the volume over the image as it stands now (after any damage)
  // and mounts the first partition. The device's log starts empty afterwards.
  // The device sectors `bad` fail for good; `rescue` sets rescue reading.
  void Mount(const std::vector<int64_t>& bad = {}, bool rescue = false) {
    device = std::make_unique<FakeSectorDevice>(image.bytes, 512);
    for (int64_t sector : bad) device->FailSectors(sector, 1);
    if (media == Media::kX68k) {
      volume = std::make_unique<Probe<X68kScsiVolume>>(device.get());
    } else if (media == Media::kFloppy) {
      volume = std::make_unique<Probe<HumanFloppyVolume>>(device.get());
    } else {
      volume = std::make_unique<Probe<PcFatVolume>>(device.get());
    }
    volume->SetRescue(rescue ? 1 : 0);
    PartitionInfo table[15];
    ASSERT_GE(volume->ReadPartitionTable(table, 15), 1);
    ASSERT_EQ(0, volume->SelectPartition(table[0]));
    device->ClearLog();
  }

  uint16_t CurrentCluster() const {
    if (media == Media::kX68k) {
      return static_cast<Probe<X68kScsiVolume>*>(volume.get())->CurrentCluster();
    }
    if (media == Media::kFloppy) {
      return static_cast<Probe<HumanFloppyVolume>*>(volume.get())->CurrentCluster();
    }
    return static_cast<Probe<PcFatVolume>*>(volume.get())->CurrentCluster();
  }

  std::string CurrentDir() {
    char text[1024] = {};
    volume->GetCurrentDir(text, 1023);
    return text;
  }

  const imagebuilder::Placement& Node(const std::string& path) const {
    return image.partitions[0].nodes.at(path);
  }
  uint16_t FirstCluster(const std::string& path) const { return Node(path).clusters.at(0); }

  // The device sector (512 bytes) at which a cluster starts, counted from the partition
  // start as the volume seeks, and from the device start as the fake logs reads.
  int64_t SeekSector(uint16_t cluster) const {
    return static_cast<int64_t>(image.ClusterOffset(0, cluster) - image.partitions[0].start) / 512;
  }
  int64_t ReadSector(uint16_t cluster) const {
    return static_cast<int64_t>(image.ClusterOffset(0, cluster)) / 512;
  }
  int64_t SectorsPerCluster() const { return image.partitions[0].clusterBytes / 512; }
  uint32_t ClusterBytes() const { return image.partitions[0].clusterBytes; }

  // The damage notes the volume holds, one a line: "PATH whole" or "PATH lost N".
  std::string Damage() {
    std::string text;
    for (DirectoryDamage n; volume->TakeDamage(&n) == 1;)
      text += n.path + (n.whole ? " whole\n" : " lost " + std::to_string(n.entriesLost) + "\n");
    return text;
  }

  // Every name FindFirst and FindNext deliver for `path`, in order, and the final code.
  std::vector<std::string> List(const char* path, int* code = nullptr) {
    std::vector<std::string> names;
    SearchRecord search;
    FindResult entry;
    int result = volume->FindFirst(&search, path, &entry);
    while (result == 1) {
      names.push_back(entry.fileName);
      result = volume->FindNext(&search, &entry);
    }
    if (code != nullptr) *code = result;
    volume->FindEnd(&search);
    return names;
  }

  Media media;
  imagebuilder::Image image;
  std::unique_ptr<FakeSectorDevice> device;
  std::unique_ptr<HumanVolume> volume;
};

}  // namespace fstest

#endif  // TESTS_FILE_SYSTEM_TEST_SUPPORT_H_
