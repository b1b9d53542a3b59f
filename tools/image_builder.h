#ifndef TOOLS_IMAGE_BUILDER_H_
#define TOOLS_IMAGE_BUILDER_H_

// Builds whole disk images in memory for tests, benchmarks and the sample disk:
// X68000 SCSI-format images (X68SCSI1 label, X68K partition table, one Human68k boot
// sector, big-endian FAT copies, root directory and data area per partition),
// PC-boot-sector FAT16 images and Human68k 2HD floppy images (FAT12); and DIM and D88
// floppy containers around raw floppy images. After building, any byte can be changed, so
// tests can make deleted entries, odd names, broken chains and other damage.

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
// of up to 3; "." and ".." are made by the builder and must not be given. The name is
// split at its last '.'; bytes are stored as given (no case change), except that a first
// byte 0xE5 is stored as 0x05. A base of up to 8 bytes leaves bytes 12-21 zero; a longer
// one puts bytes 9-18 there, filled up with spaces. A directory's entries are ".", ".."
// (first cluster of the parent, 0 for the root), its children in order, then its
// RawEntries in order; the root has no "." and "..". A directory takes as many clusters
// as its entries need, so it has a zero end entry unless the entries fill it exactly.
struct Node {
  std::string name;
  bool isDirectory = false;
  uint8_t attributes = 0x20;  // 0x10 is added for directories
  uint16_t time = 0;
  uint16_t date = 0;
  std::string contents;        // files only
  std::vector<Node> children;  // directories only
  // Place the chain's clusters in descending order with a free cluster before each, so
  // that no two neighbours of the chain are neighbours on the disk. Otherwise a chain is
  // contiguous and ascending. An empty file has no chain (first cluster 0, size 0).
  bool fragmented = false;
};

Node File(const std::string& name, const std::string& contents, uint8_t attributes = 0x20);
Node Dir(const std::string& name, std::vector<Node> children, uint8_t attributes = 0x10);

// `node` with its stored date and time set.
Node Stamped(Node node, uint16_t date, uint16_t time);

// A raw 32-byte directory entry written as given, after the entries the tree makes
// (deleted entries, volume labels, links, invalid dates, end markers...).
struct RawEntry {
  std::string directory;  // "\\" for the root, else "\\A\\B" (names as given in the tree)
  std::array<uint8_t, 32> bytes;
};

// A raw entry: the 11-byte name field as given (space-padded), the attribute byte, time,
// date, first cluster and size; bytes 12-21 zero.
RawEntry MakeRawEntry(const std::string& directory, const std::string& name11, uint8_t attributes,
                      uint16_t time, uint16_t date, uint16_t cluster = 0, uint32_t size = 0);

// The same with time and date zero and bytes 12-21, the second part of the name, holding
// the first 10 bytes of `nameTail` (zero-filled).
inline RawEntry MakeRawEntry(const std::string& directory, const std::string& name11,
                             uint8_t attributes, const std::string& nameTail, uint16_t cluster = 0,
                             uint32_t size = 0) {
  RawEntry raw = MakeRawEntry(directory, name11, attributes, 0, 0, cluster, size);
  for (size_t i = 0; i < 10 && i < nameTail.size(); ++i) {
    raw.bytes[12 + i] = static_cast<uint8_t>(nameTail[i]);
  }
  return raw;
}

struct PartitionLayout {
  uint16_t sectorSize = 1024;     // bytes per partition sector: a power of two, 256..8192
  uint8_t sectorsPerCluster = 1;  // at least 1
  uint8_t fatCount = 2;           // at least 1
  uint16_t rootEntries = 512;
  // Sectors before the first FAT (at least 1, the boot sector). On X68000 media the area
  // is rounded up to whole 1024-byte units that are also whole sectors, since the boot
  // sector records it in units of 1024 bytes.
  uint32_t reservedSectors = 1;
  // Data clusters; 0 = what the tree needs plus 16. PC images get at least 4085, the
  // fewest a FAT16 volume may have. The FAT is sized to hold them (at most 255 sectors on
  // X68000 media, whose boot sector records the FAT size in one byte).
  uint32_t clusterCount = 0;
  std::vector<Node> root;
  std::vector<RawEntry> rawEntries;
};

struct X68kImageLayout {
  // The device sector size the image is laid out for (label and table positions do not
  // depend on it; partitions start on a multiple of it).
  uint32_t deviceSectorSize = 512;
  // Start of the first partition in 1024-byte units (at least 4, after the table); later
  // partitions follow on. Every start is rounded up to a whole number of 1024-byte units,
  // device sectors and partition sectors. Each table entry holds "Human68k", the start
  // and, in bytes 12-15, the partition size in 1024-byte units (both big-endian).
  uint32_t firstPartitionKb = 32;
  std::vector<PartitionLayout> partitions;  // 0 to 127 (the reader takes the first 15)
};

struct PcImageLayout {
  PartitionLayout partition;  // sectorSize 512 by default for PC media is up to the caller
};

// Where the builder put things, as byte offsets from the start of the image.
struct Placement {
  uint64_t entryOffset = 0;        // the node's 32-byte directory entry
  std::vector<uint16_t> clusters;  // its chain in order (empty for an empty file)
};

// Where the builder put one partition's parts, and the geometry it recorded.
struct PartitionPlacement {
  uint64_t start = 0;       // byte offset of the partition (its boot sector)
  uint64_t fatOffset = 0;   // first FAT copy
  uint64_t rootOffset = 0;  // root directory
  uint64_t dataOffset = 0;  // cluster 2
  uint32_t clusterBytes = 0;
  uint32_t fatBytes = 0;  // bytes per FAT copy
  bool bigEndianFat = true;
  uint8_t fatBits = 16;  // 12 on floppy disks, little-endian and packed as MS-DOS packs it
  // The geometry as recorded in the boot sector.
  uint16_t sectorSize = 0;
  uint8_t sectorsPerCluster = 0;
  uint8_t fatCount = 0;
  uint32_t fatStartSectors = 0;  // sectors before the first FAT
  uint32_t fatSectors = 0;       // sectors per FAT copy
  uint16_t rootEntries = 0;
  uint32_t clusterCount = 0;  // data clusters, numbered 2 .. clusterCount + 1
  uint64_t sizeBytes = 0;     // the whole partition
  // Keyed by the path of the node, "\\A\\B.TXT", as given in the tree.
  std::map<std::string, Placement> nodes;
};

// A built image. Poke, PokeBytes and SetFatEntry ignore writes outside the image.
class Image {
 public:
  std::vector<uint8_t> bytes;
  std::vector<PartitionPlacement> partitions;
  // Empty on success; otherwise why the image cannot be built (bytes and partitions are
  // then empty).
  std::string error;

  // Byte offset of cluster `cluster` (2 or more) of partition `partition`; 0 for a
  // partition the image does not have.
  uint64_t ClusterOffset(int partition, uint16_t cluster) const;
  void Poke(uint64_t offset, uint8_t value);
  void PokeBytes(uint64_t offset, const std::string& bytes);
  // Sets one FAT entry in every FAT copy, in the partition's byte order and width.
  void SetFatEntry(int partition, uint16_t cluster, uint16_t value);
  uint16_t GetFatEntry(int partition, uint16_t cluster) const;
  // Writes the whole image to a file; false on failure.
  bool WriteTo(const std::string& path) const;
};

// Clusters of `clusterBytes` bytes that the tree `root` takes in the data area: each file
// its size, and each directory below the root its entries ("." and ".." included) x 32
// bytes, each rounded up to whole clusters on its own. The root has an area of its own.
uint64_t ClustersNeeded(const std::vector<Node>& root, uint32_t clusterBytes);

// The fewest sectors per cluster, a power of two up to 128, with which the tree `root` and
// the 16 spare clusters a partition gets (clusterCount 0) take at most `mostClusters`
// clusters of `sectorSize`-byte sectors; 128 when no size does (the build then says why).
uint8_t SmallestSectorsPerCluster(const std::vector<Node>& root, uint16_t sectorSize,
                                  uint64_t mostClusters);

// Build the image, or return one whose `error` says what is wrong with its description (bad
// geometry, a name too long, a root directory too small, too many clusters, raw entries
// for a directory not in the tree).
Image BuildX68k(const X68kImageLayout& layout);
Image BuildPc(const PcImageLayout& layout);

// Floppy image containers (layouts in disk/floppy_image_format.h) around raw 2HD images:
// whole tracks of 8 sectors of 1024 bytes, head 0 and 1 of each cylinder, in cylinder,
// head, sector order (1232 sectors for the 77 cylinders of a 2HD disk), at most 160 tracks.
// Track t is cylinder t / 2, head t % 2; LBA s is track s / 8, sector number R s % 8 + 1.
constexpr uint32_t kFloppySectorBytes = 1024;
constexpr uint32_t kFloppySectorsPerTrack = 8;

struct DimOptions {
  std::vector<uint32_t> absentTracks;  // tracks the file leaves out (flag 0, no bytes)
};

// A DIM of media type 2HD storing every track of `raw` but the absent ones; empty when
// `raw` is not whole tracks or holds more than 160.
std::vector<uint8_t> WriteDim(const std::vector<uint8_t>& raw, const DimOptions& options = {});

// One sector of a D88 stored otherwise than as good data.
struct D88SectorMark {
  size_t disk = 0;       // which of the disks given
  uint32_t sector = 0;   // its LBA
  bool leftOut = false;  // not stored: its track holds one sector fewer
  uint8_t status = 0;    // status byte: 0xA0, 0xB0, 0xE0, 0xF0 say the sector is bad
  uint8_t deleted = 0;   // deleted byte: 0x10 is a deleted-data mark
};

struct D88Options {
  // Each track's sectors stored in the order R = (k x 3 + track) % 8 + 1 for k = 0..7,
  // not by R.
  bool shuffled = false;
  // A track table of 160 entries: the first track starts at 0x2A0 instead of 0x2B0.
  bool shortTable = false;
  std::vector<D88SectorMark> marks;
};

// A D88 holding `disks` one after another, each a 2HD disk (media type 0x20) named
// "DISK<n>" whose header's size counts the disk's header and tracks; tracks in order,
// each sector with C, H, R, N = 3, the sectors in its track, density 0, and 1024 data
// bytes. Empty when a disk is not whole tracks or holds more than 160.
std::vector<uint8_t> WriteD88(const std::vector<std::vector<uint8_t>>& disks,
                              const D88Options& options = {});
struct FloppyOptions {
  // Every chain, of files and directories, takes every other free cluster from the lowest
  // up (as long as enough are left) in descending order: chains interleave, and no link
  // leads to the next cluster on the disk.
  bool scatter = false;
  // The boot sector's BPB is that of a 1.44 MB PC disk, which does not fit the disk, so a
  // reader must know the standard layout.
  bool inconsistentBpb = false;
  // Cylinders of the image, 77 or more; those past the 77th hold no part of the file system.
  uint32_t cylinders = 77;
};

// A raw Human68k 2HD floppy image (sectors of 1024 bytes in cylinder, head, sector order)
// holding the tree and raw entries of `layout`, whose geometry fields are not used: the
// standard layout of 1 reserved sector (the boot sector: a 68000 branch, "Hudson soft 2.00"
// at byte 2, the big-endian BPB at bytes 18-29), 2 FATs of 2 sectors (12-bit, little-endian,
// starting 0xFE 0xFF 0xFF), 192 root entries and 1221 clusters of one sector.
Image BuildHumanFloppy(const PartitionLayout& layout, FloppyOptions options = {});

}  // namespace imagebuilder

#endif  // TOOLS_IMAGE_BUILDER_H_
