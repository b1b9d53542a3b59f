#ifndef APP_APP_TEST_SUPPORT_H_
#define APP_APP_TEST_SUPPORT_H_

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/console.h"
#include "platform/host_text.h"
#include "tests/fake_sector_device.h"
#include "tools/image_builder.h"
#include "volume/x68k_scsi_volume.h"

// A Console over two temporary files whose contents tests read back whole.
class CapturedConsole {
 public:
  explicit CapturedConsole(const std::string& charset = "C")
      : text(platform::NewHostTextFor(charset)),
        out(std::tmpfile()),
        error(std::tmpfile()),
        console(out, error, text.get()) {}
  ~CapturedConsole() {
    std::fclose(out);
    std::fclose(error);
  }
  Console* get() { return &console; }
  std::string Out() { return Read(out); }
  std::string Error() { return Read(error); }

 private:
  static std::string Read(std::FILE* file) {
    std::fflush(file);
    std::string contents;
    std::rewind(file);
    char block[4096];
    size_t count;
    while ((count = std::fread(block, 1, sizeof(block), file)) > 0) contents.append(block, count);
    return contents;
  }

  std::unique_ptr<platform::HostText> text;
  std::FILE* out;
  std::FILE* error;
  Console console;
};

// A raw 32-byte directory entry: name field (11 bytes, space-padded as given),
// attributes, time, date, first cluster and size.
inline imagebuilder::RawEntry MakeRawEntry(const std::string& directory, const std::string& name11,
                                           uint8_t attributes, uint16_t time, uint16_t date,
                                           uint16_t cluster = 0, uint32_t size = 0) {
  imagebuilder::RawEntry raw;
  raw.directory = directory;
  raw.bytes.fill(0);
  for (size_t i = 0; i < 11; ++i) raw.bytes[i] = i < name11.size() ? name11[i] : ' ';
  raw.bytes[11] = attributes;
  raw.bytes[22] = static_cast<uint8_t>(time);
  raw.bytes[23] = static_cast<uint8_t>(time >> 8);
  raw.bytes[24] = static_cast<uint8_t>(date);
  raw.bytes[25] = static_cast<uint8_t>(date >> 8);
  raw.bytes[26] = static_cast<uint8_t>(cluster);
  raw.bytes[27] = static_cast<uint8_t>(cluster >> 8);
  for (int i = 0; i < 4; ++i) raw.bytes[28 + i] = static_cast<uint8_t>(size >> (8 * i));
  return raw;
}

// A node with a stamp.
inline imagebuilder::Node Stamped(imagebuilder::Node node, uint16_t date, uint16_t time) {
  node.date = date;
  node.time = time;
  return node;
}

// An X68000 image built from `spec`, served by a fake device, with partition 0 mounted.
class MountedImage {
 public:
  explicit MountedImage(const imagebuilder::X68kImageSpec& spec)
      : image(imagebuilder::BuildX68k(spec)), device(image.bytes, 512), volume(&device) {
    PartitionInfo table[15];
    partitionCount = volume.ReadPartitionTable(table, 15);
    if (partitionCount > 0) mounted = volume.SelectPartition(table[0]) == 0;
  }
  imagebuilder::Image image;
  FakeSectorDevice device;
  X68kScsiVolume volume;
  int partitionCount = 0;
  bool mounted = false;
};

// One partition holding `root` and `raw`.
inline imagebuilder::X68kImageSpec OnePartition(std::vector<imagebuilder::Node> root,
                                                std::vector<imagebuilder::RawEntry> raw = {}) {
  imagebuilder::X68kImageSpec spec;
  imagebuilder::PartitionSpec partition;
  partition.root = std::move(root);
  partition.rawEntries = std::move(raw);
  spec.partitions.push_back(std::move(partition));
  return spec;
}

#endif  // APP_APP_TEST_SUPPORT_H_
