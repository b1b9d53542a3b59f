#ifndef TOOLS_IMAGE_BUILDER_H_
#define TOOLS_IMAGE_BUILDER_H_

// Builds whole disk images in memory for tests, benchmarks and the sample disk:
// X68000 SCSI-format images (X68SCSI1 label, X68K partition table, one Human68k boot
// sector, big-endian FAT copies, root directory and data area per partition) and
// PC-boot-sector FAT16 images. After building, any byte can be changed, so tests can
// make deleted entries, odd names, broken chains and other damage.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace imagebuilder {

// MS-DOS packed date and time words.
uint16_t DosDate(int year, int month, int day);
uint16_t DosTime(int hour, int minute, int second);

// One file or directory of a tree. Names are code page 932 bytes, "BASE.EXT" with a base
// of up to 18 bytes (bytes 9-18 go into the entry's second name part) and an extension
// of up to 3; "." and ".." are made by the builder and must not be given.
struct Node {
  std::string name;
  bool isDirectory = false;
  uint8_t attributes = 0x20;  // 0x10 is added for directories
  uint16_t time = 0;
  uint16_t date = 0;
  std::string contents;         // files only
  std::vector<Node> children;   // directories only
  bool fragmented = false;      // place the chain's clusters out of order, with gaps
};

Node File(const std::string& name, const std::string& contents, uint8_t attributes = 0x20);
Node Dir(const std::string& name, std::vector<Node> children, uint8_t attributes = 0x10);

// A raw 32-byte directory entry written as given, after the entries the tree makes
// (deleted entries, volume labels, links, invalid dates, end markers...).
struct RawEntry {
  std::string directory;  // "\\" for the root, else "\\A\\B" (names as given in the tree)
  std::array<uint8_t, 32> bytes;
};

struct PartitionSpec {
  uint16_t sectorSize = 1024;       // bytes per partition sector: 256..8192
  uint8_t sectorsPerCluster = 1;
  uint8_t fatCount = 2;
  uint16_t rootEntries = 512;
  uint32_t reservedSectors = 1;     // sectors before the first FAT (PC: at least 1)
  uint32_t clusterCount = 0;        // data clusters; 0 = what the tree needs plus 16
  std::vector<Node> root;
  std::vector<RawEntry> rawEntries;
};

struct X68kImageSpec {
  // The device sector size the image is laid out for (label and table positions do not
  // depend on it; partitions start on a multiple of it).
  uint32_t deviceSectorSize = 512;
  // Start of the first partition in 1024-byte units; later partitions follow on.
  uint32_t firstPartitionKb = 32;
  std::vector<PartitionSpec> partitions;  // 1 to 15
};

struct PcImageSpec {
  PartitionSpec partition;  // sectorSize 512 by default for PC media is up to the caller
};

// Where the builder put things, as byte offsets from the start of the image.
struct Placement {
  uint64_t entryOffset = 0;             // the node's 32-byte directory entry
  std::vector<uint16_t> clusters;       // its chain in order (empty for an empty file)
};

struct PartitionLayout {
  uint64_t start = 0;            // byte offset of the partition (its boot sector)
  uint64_t fatOffset = 0;        // first FAT copy
  uint64_t rootOffset = 0;       // root directory
  uint64_t dataOffset = 0;       // cluster 2
  uint32_t clusterBytes = 0;
  uint32_t fatBytes = 0;         // bytes per FAT copy
  bool bigEndianFat = true;
  // Keyed by the path of the node, "\\A\\B.TXT", as given in the tree.
  std::map<std::string, Placement> nodes;
};

class Image {
 public:
  std::vector<uint8_t> bytes;
  std::vector<PartitionLayout> partitions;

  // Byte offset of cluster `cluster` of partition `partition`.
  uint64_t ClusterOffset(int partition, uint16_t cluster) const;
  void Poke(uint64_t offset, uint8_t value);
  void PokeBytes(uint64_t offset, const std::string& bytes);
  // Sets one FAT entry in every FAT copy, in the partition's byte order.
  void SetFatEntry(int partition, uint16_t cluster, uint16_t value);
  uint16_t GetFatEntry(int partition, uint16_t cluster) const;
  // Writes the whole image to a file; false on failure.
  bool WriteTo(const std::string& path) const;
};

Image BuildX68k(const X68kImageSpec& spec);
Image BuildPc(const PcImageSpec& spec);

}  // namespace imagebuilder

#endif  // TOOLS_IMAGE_BUILDER_H_
