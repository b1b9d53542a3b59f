// Writes the fuzzers' seed corpus into the directory named on the command line: small
// images from the image builder, each preceded by the fuzzers' control byte.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "tools/image_builder.h"

namespace {

using imagebuilder::Dir;
using imagebuilder::File;
using imagebuilder::Node;

std::string Bytes(size_t count, char seed) {
  std::string text(count, '\0');
  for (size_t i = 0; i < count; ++i) text[i] = static_cast<char>(seed + i * 7);
  return text;
}

std::vector<Node> SampleTree() {
  Node fragmented = File("FRAG.BIN", Bytes(3000, 'f'));
  fragmented.fragmented = true;
  return {
      File("EMPTY.TXT", ""),
      File("ONE.TXT", "1"),
      File("README.DOC", Bytes(700, 'r')),
      File("ABCDEFGHIJKLMNOPQR.TXT", Bytes(1024, 'a')),
      fragmented,
      Dir("BIN", {File("TOOL.X", Bytes(1500, 't')),
                  Dir("SUB", {File("DEEP.TXT", "deep"), Dir("\x83\x5C"
                                                            "DIR",
                                                            {File("IN.TXT", "in")})})}),
      Dir("EMPTYDIR", {}),
  };
}

imagebuilder::PartitionLayout SamplePartition(uint16_t sectorSize) {
  imagebuilder::PartitionLayout partition;
  partition.sectorSize = sectorSize;
  partition.sectorsPerCluster = 1;
  partition.rootEntries = 32;
  partition.root = SampleTree();
  std::array<uint8_t, 32> deleted = {};
  for (size_t i = 0; i < 11; ++i) deleted[i] = 'D';
  deleted[0] = 0xE5;
  partition.rawEntries.push_back({"\\", deleted});
  return partition;
}

// Where the last cluster in use of the image's first partition ends.
uint64_t UsedEnd(const imagebuilder::Image& image) {
  uint64_t end = image.partitions[0].dataOffset;
  for (const auto& node : image.partitions[0].nodes) {
    for (uint16_t cluster : node.second.clusters) {
      end = std::max(end, image.ClusterOffset(0, cluster) + image.partitions[0].clusterBytes);
    }
  }
  return end;
}

// Cuts a floppy image after the track that holds its last cluster in use, its total sectors
// recorded to match; with `pc` its boot sector becomes a PC one of the same layout.
void ShortenFloppy(imagebuilder::Image* image, bool pc) {
  if (!image->error.empty()) return;
  const uint64_t bytes = (UsedEnd(*image) + 8191) / 8192 * 8192;
  image->bytes.resize(bytes);
  uint8_t* boot = image->bytes.data();
  platform::StoreBe16(boot + 26, static_cast<uint32_t>(bytes / 1024));
  if (!pc) return;
  std::memset(boot, 0, 64);
  boot[0] = 0xEB;
  boot[1] = 0x3C;
  boot[2] = 0x90;
  platform::StoreLe16(boot + 11, 1024);
  boot[13] = 1;                         // sectors per cluster
  platform::StoreLe16(boot + 14, 1);    // reserved sectors
  boot[16] = 2;                         // FATs
  platform::StoreLe16(boot + 17, 192);  // root entries
  platform::StoreLe16(boot + 19, static_cast<uint32_t>(bytes / 1024));
  boot[21] = 0xFE;
  platform::StoreLe16(boot + 22, 2);  // sectors per FAT
  boot[510] = 0x55;
  boot[511] = 0xAA;
}

bool Write(const std::string& directory, const std::string& name, uint8_t control,
           const imagebuilder::Image& image) {
  const std::string path = directory + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fputc(control, file) != EOF;
  ok = ok && std::fwrite(image.bytes.data(), 1, image.bytes.size(), file) == image.bytes.size();
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

// Damage a mount and a copy must get through: a folder whose name ends in a lone lead
// byte, four folders that each link the other three, a chain that loops inside its file's
// size and one that ends before it.
imagebuilder::Image DamagedImage() {
  imagebuilder::PartitionLayout partition;
  partition.rootEntries = 32;
  partition.root = {Dir("TL\x81", {Dir("SUB", {File("IN.TXT", "in")})}),
                    File("LOOP.BIN", Bytes(3000, 'l')), File("SHORT.BIN", Bytes(3000, 's'))};
  for (int i = 0; i < 4; ++i) partition.root.push_back(Dir("C" + std::to_string(i), {}));
  imagebuilder::X68kImageLayout layout;
  layout.partitions.push_back(partition);
  const imagebuilder::Image probe = imagebuilder::BuildX68k(layout);
  if (!probe.error.empty()) return probe;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const std::string name = "C" + std::to_string(j);
      if (i == j) continue;
      layout.partitions[0].rawEntries.push_back(
          imagebuilder::MakeRawEntry("\\C" + std::to_string(i), name + "         ", 0x10, 0, 0,
                                     probe.partitions[0].nodes.at("\\" + name).clusters[0]));
    }
  }
  imagebuilder::Image image = imagebuilder::BuildX68k(layout);
  if (!image.error.empty()) return image;
  const auto& nodes = image.partitions[0].nodes;
  image.SetFatEntry(0, nodes.at("\\LOOP.BIN").clusters[1], nodes.at("\\LOOP.BIN").clusters[0]);
  image.SetFatEntry(0, nodes.at("\\SHORT.BIN").clusters[0], 0xFFFF);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
    return 2;
  }
  const std::string directory = argv[1];

  imagebuilder::X68kImageLayout x68k;
  x68k.partitions.push_back(SamplePartition(1024));
  const imagebuilder::Image one = imagebuilder::BuildX68k(x68k);

  imagebuilder::X68kImageLayout two;
  two.partitions.push_back(SamplePartition(512));
  imagebuilder::PartitionLayout second;
  second.sectorSize = 1024;
  second.sectorsPerCluster = 2;
  second.rootEntries = 16;
  second.root = {File("A.TXT", Bytes(5000, 'x')), Dir("D", {File("B.TXT", "b")})};
  two.partitions.push_back(second);
  const imagebuilder::Image pair = imagebuilder::BuildX68k(two);

  imagebuilder::X68kImageLayout wide;
  wide.deviceSectorSize = 2048;
  wide.partitions.push_back(SamplePartition(2048));
  const imagebuilder::Image large = imagebuilder::BuildX68k(wide);

  imagebuilder::PcImageLayout pcLayout;
  pcLayout.partition = SamplePartition(512);
  imagebuilder::Image pc = imagebuilder::BuildPc(pcLayout);
  // A PC FAT16 volume has at least 4085 clusters, most of them free; the seed keeps the
  // image only up to the last cluster in use, which keeps it small.
  if (pc.error.empty()) pc.bytes.resize(UsedEnd(pc));

  // A Human68k 2HD floppy with interleaved chains, and the same disk as a PC-98 medium
  // (a PC boot sector, 1024-byte sectors, a 12-bit FAT).
  imagebuilder::FloppyOptions scattered;
  scattered.scatter = true;
  imagebuilder::Image floppy = imagebuilder::BuildHumanFloppy(SamplePartition(1024), scattered);
  imagebuilder::Image pc12 = floppy;
  ShortenFloppy(&floppy, false);
  ShortenFloppy(&pc12, true);

  const imagebuilder::Image damaged = DamagedImage();

  const imagebuilder::Image* images[] = {&one, &pair, &large, &pc, &floppy, &pc12, &damaged};
  for (const imagebuilder::Image* image : images) {
    if (!image->error.empty()) {
      std::fprintf(stderr, "make_seeds: %s\n", image->error.c_str());
      return 1;
    }
  }
  bool ok = Write(directory, "x68k-1024", 0, one);
  ok = Write(directory, "x68k-1024-nocase", 2, one) && ok;
  ok = Write(directory, "x68k-1024-short-names", 4, one) && ok;
  ok = Write(directory, "x68k-1024-rescue-utf8", 8 | 16, one) && ok;
  ok = Write(directory, "x68k-two-partitions", 0, pair) && ok;
  ok = Write(directory, "x68k-2048", 1, large) && ok;
  ok = Write(directory, "pc-512", 0, pc) && ok;
  ok = Write(directory, "pc-512-nocase", 6, pc) && ok;
  ok = Write(directory, "x68k-damaged", 0, damaged) && ok;
  ok = Write(directory, "x68k-damaged-rescue", 8, damaged) && ok;
  ok = Write(directory, "floppy-2hd", 0, floppy) && ok;
  ok = Write(directory, "floppy-2hd-rescue", 8, floppy) && ok;
  ok = Write(directory, "pc-fat12-1024", 0, pc12) && ok;
  if (!ok) {
    std::fprintf(stderr, "make_seeds: cannot write into %s\n", directory.c_str());
    return 1;
  }
  return 0;
}
