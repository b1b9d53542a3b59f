#include "tools/image_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <numeric>
#include <set>
#include <utility>

#include "disk/floppy_image_format.h"
#include "platform/byte_order.h"

namespace imagebuilder {

namespace {

using platform::StoreBe16;
using platform::StoreBe32;
using platform::StoreLe16;
using platform::StoreLe32;

using Entry = std::array<uint8_t, 32>;

constexpr uint32_t kLabelTableOffset = 2048;
constexpr uint32_t kFirstTableEntry = 2064;
constexpr uint32_t kTableEntrySize = 16;
constexpr uint32_t kMaxTableEntries = (4096 - kFirstTableEntry) / kTableEntrySize;
// FAT16 numbers clusters from 2; 0xFFF7 marks a bad cluster and 0xFFF8 up end a chain,
// and a volume of 65525 clusters or more is FAT32.
constexpr uint32_t kMaxClusterCount = 65524;
constexpr uint32_t kMinPcClusterCount = 4085;
constexpr uint32_t kSparedClusters = 16;
constexpr uint16_t kEndOfChain = 0xFFFF;
constexpr uint32_t kFloppyTrackBytes = kFloppySectorBytes * kFloppySectorsPerTrack;
constexpr size_t kMostFloppyTracks = 160;
constexpr uint16_t kEndOfChain12 = 0xFFF;

// The Human68k 2HD floppy: 1024-byte sectors, 8 a track, 2 tracks a cylinder; 1 reserved
// sector, 2 FATs of 2 sectors, 192 root entries, 1221 clusters of one sector.
constexpr uint32_t kFloppyCylinderBytes = 2 * kFloppyTrackBytes;
constexpr uint32_t kFloppyCylinders = 77;
constexpr uint16_t kFloppyRootEntries = 192;
constexpr uint32_t kFloppyClusters = 1221;
constexpr uint8_t kFloppyMedia = 0xFE;

void StoreFat16(uint8_t* p, uint16_t v, bool bigEndian) {
  if (bigEndian) {
    StoreBe16(p, v);
  } else {
    StoreLe16(p, v);
  }
}

// Entry `n` of a FAT: 16 bits in the given byte order, or 12 bits packed as MS-DOS packs
// them (entry n in the little-endian word at byte n * 3 / 2, its high 12 bits for odd n,
// its low 12 bits for even n).
void StoreFatEntry(uint8_t* fat, uint32_t n, uint16_t v, bool bigEndian, int fatBits) {
  if (fatBits != 12) {
    StoreFat16(fat + static_cast<size_t>(n) * 2, v, bigEndian);
    return;
  }
  uint8_t* p = fat + static_cast<size_t>(n) * 3 / 2;
  if (n % 2 != 0) {
    p[0] = static_cast<uint8_t>((p[0] & 0x0F) | ((v << 4) & 0xF0));
    p[1] = static_cast<uint8_t>(v >> 4);
  } else {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>((p[1] & 0xF0) | ((v >> 8) & 0x0F));
  }
}

// Bytes a FAT of `entries` entries of `fatBits` bits takes.
uint64_t FatBytes(uint64_t entries, int fatBits) {
  return fatBits == 12 ? (entries * 3 + 1) / 2 : entries * 2;
}

uint64_t RoundUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string ChildPath(const std::string& directory, const std::string& name) {
  return directory == "\\" ? "\\" + name : directory + "\\" + name;
}

Entry DotEntry(const char* name, uint16_t cluster, uint16_t time, uint16_t date) {
  Entry e;
  std::memset(e.data(), ' ', 11);
  std::memset(e.data() + 11, 0, 21);
  std::memcpy(e.data(), name, std::strlen(name));
  e[11] = 0x10;
  StoreLe16(&e[22], time);
  StoreLe16(&e[24], date);
  StoreLe16(&e[26], cluster);
  return e;
}

// The 32-byte entry of `node` without its first cluster; false with `error` set when the
// name does not fit the entry.
bool MakeEntry(const Node& node, Entry* e, std::string* error) {
  const std::string& name = node.name;
  if (name.empty() || name == "." || name == "..") {
    *error = "invalid name \"" + name + "\"";
    return false;
  }
  const size_t dot = name.rfind('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 18 || extension.size() > 3) {
    *error = "name \"" + name + "\" does not fit 18 + 3 bytes";
    return false;
  }
  std::memset(e->data(), ' ', 11);
  std::memset(e->data() + 11, 0, 21);
  std::memcpy(e->data(), base.data(), std::min<size_t>(base.size(), 8));
  std::memcpy(e->data() + 8, extension.data(), extension.size());
  if (base.size() > 8) {
    std::memset(e->data() + 12, ' ', 10);
    std::memcpy(e->data() + 12, base.data() + 8, base.size() - 8);
  }
  // 0xE5 in byte 0 marks a deleted entry; a name that really starts so is stored as 0x05.
  if ((*e)[0] == 0xE5) (*e)[0] = 0x05;
  (*e)[11] = static_cast<uint8_t>(node.isDirectory ? node.attributes | 0x10 : node.attributes);
  StoreLe16(&(*e)[22], node.time);
  StoreLe16(&(*e)[24], node.date);
  if (!node.isDirectory) StoreLe32(&(*e)[28], static_cast<uint32_t>(node.contents.size()));
  return true;
}

// Clusters a node of the tree takes: a file its contents, a directory ".", "..", its
// children and `rawEntries`, 32 bytes each (at least one cluster, since it has "." and "..").
uint64_t NodeClusters(const Node& node, size_t rawEntries, uint64_t clusterBytes) {
  if (!node.isDirectory) return (node.contents.size() + clusterBytes - 1) / clusterBytes;
  const uint64_t entries = 2 + node.children.size() + rawEntries;
  return (entries * 32 + clusterBytes - 1) / clusterBytes;
}

struct PlannedDirectory {
  bool isRoot = false;
  std::vector<uint16_t> clusters;  // empty for the root
  std::vector<Entry> entries;
  std::vector<std::pair<std::string, size_t>> named;  // node path, entry index
};

struct PlannedFile {
  const std::string* contents = nullptr;
  std::vector<uint16_t> clusters;
};

// Assigns clusters to every node of a partition's tree and makes every directory's
// entries. Clusters are handed out in tree order, parents before their children, up to
// `lastCluster`. With `scatter` every chain takes every other free cluster from the lowest
// up, as long as enough free ones are left, in descending order: chains interleave and no
// link leads to the next cluster on the disk.
class Planner {
 public:
  Planner(const PartitionLayout& layout, uint32_t clusterBytes, uint32_t firstCluster,
          uint32_t lastCluster, bool scatter)
      : layout(layout),
        clusterBytes(clusterBytes),
        next(firstCluster),
        first(firstCluster),
        lastCluster(lastCluster),
        scatter(scatter) {
    for (const RawEntry& raw : layout.rawEntries) rawByDirectory[raw.directory].push_back(&raw);
  }

  bool Run(std::string* error) {
    PlanDirectory(layout.root, "\\", true, {}, 0, 0, 0);
    if (failure.empty() && directories.front().entries.size() > layout.rootEntries) {
      failure = "the root directory needs " + std::to_string(directories.front().entries.size()) +
                " entries but has room for " + std::to_string(layout.rootEntries);
    }
    if (failure.empty()) {
      for (const auto& item : rawByDirectory) {
        if (visited.count(item.first) == 0) {
          failure = "raw entries for \"" + item.first + "\", which is not a directory of the tree";
          break;
        }
      }
    }
    *error = failure;
    return failure.empty();
  }

  // Clusters handed out so far, gaps included, counted from cluster 2.
  uint32_t ClustersUsed() const { return next - 2; }

  std::vector<PlannedDirectory> directories;  // the root first
  std::vector<PlannedFile> files;
  std::map<std::string, Placement> nodes;

 private:
  void TooMany() {
    if (failure.empty()) {
      failure = lastCluster == kMaxClusterCount + 1
                    ? "the tree needs more clusters than FAT16 numbers"
                    : "the tree needs more clusters than the disk holds";
    }
  }

  std::vector<uint16_t> Scatter(uint64_t count) {
    if (taken.empty()) taken.assign(lastCluster + 1, false);
    uint64_t free = 0;
    for (uint32_t c = first; c <= lastCluster; ++c) free += taken[c] ? 0 : 1;
    std::vector<uint16_t> chain;
    bool skip = false;
    for (uint32_t c = first; c <= lastCluster && chain.size() < count; ++c) {
      if (taken[c]) continue;
      // Skipping `c` leaves free - 1 clusters for what the chain still needs.
      if (!skip || free - 1 < count - chain.size()) {
        chain.push_back(static_cast<uint16_t>(c));
        taken[c] = true;
        next = std::max(next, c + 1);
        skip = true;
      } else {
        skip = false;
      }
      --free;
    }
    if (chain.size() < count) {
      TooMany();
      return {};
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
  }

  std::vector<uint16_t> Allocate(uint64_t count, bool fragmented) {
    std::vector<uint16_t> chain;
    if (count == 0) return chain;
    if (scatter) return Scatter(count);
    const uint64_t span = fragmented ? 2 * count : count;
    if (next + span - 1 > lastCluster) {
      TooMany();
      return chain;
    }
    chain.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
      chain.push_back(
          static_cast<uint16_t>(fragmented ? next + 2 * (count - 1 - i) + 1 : next + i));
    }
    next += static_cast<uint32_t>(span);
    return chain;
  }

  size_t RawCount(const std::string& path) const {
    auto it = rawByDirectory.find(path);
    return it == rawByDirectory.end() ? 0 : it->second.size();
  }

  void PlanDirectory(const std::vector<Node>& children, const std::string& path, bool isRoot,
                     std::vector<uint16_t> ownClusters, uint16_t parentCluster, uint16_t time,
                     uint16_t date) {
    if (!failure.empty()) return;
    visited.insert(path);
    const size_t index = directories.size();
    directories.emplace_back();
    PlannedDirectory directory;
    directory.isRoot = isRoot;
    const uint16_t self = isRoot ? 0 : ownClusters.front();
    if (!isRoot) {
      directory.entries.push_back(DotEntry(".", self, time, date));
      directory.entries.push_back(DotEntry("..", parentCluster, time, date));
    }
    directory.clusters = std::move(ownClusters);

    for (const Node& child : children) {
      Entry entry;
      if (!MakeEntry(child, &entry, &failure)) return;
      const std::string childPath = ChildPath(path, child.name);
      const uint64_t clusterCount = NodeClusters(child, RawCount(childPath), clusterBytes);
      std::vector<uint16_t> clusters = Allocate(clusterCount, child.fragmented);
      if (!failure.empty()) return;
      StoreLe16(&entry[26], clusters.empty() ? 0 : clusters.front());
      // With duplicate names the first entry keeps the path.
      if (nodes.emplace(childPath, Placement{0, clusters}).second) {
        directory.named.emplace_back(childPath, directory.entries.size());
      }
      directory.entries.push_back(entry);
      if (child.isDirectory) {
        PlanDirectory(child.children, childPath, false, std::move(clusters), self, child.time,
                      child.date);
        if (!failure.empty()) return;
      } else if (!clusters.empty()) {
        files.push_back(PlannedFile{&child.contents, std::move(clusters)});
      }
    }
    auto raw = rawByDirectory.find(path);
    if (raw != rawByDirectory.end()) {
      for (const RawEntry* entry : raw->second) directory.entries.push_back(entry->bytes);
    }
    directories[index] = std::move(directory);
  }

  const PartitionLayout& layout;
  const uint32_t clusterBytes;
  uint32_t next;
  const uint32_t first;
  const uint32_t lastCluster;
  const bool scatter;
  std::vector<bool> taken;  // by cluster number, when scattering
  std::string failure;
  std::map<std::string, std::vector<const RawEntry*>> rawByDirectory;
  std::set<std::string> visited;
};

// Geometry of one partition in partition sectors, counted from its boot sector.
struct PartitionPlan {
  uint32_t clusterBytes = 0;
  uint32_t clusterCount = 0;
  uint32_t fatStart = 0;
  uint32_t fatSectors = 0;
  uint32_t rootStart = 0;
  uint32_t rootBytes = 0;
  uint32_t dataStart = 0;
  uint64_t totalSectors = 0;
};

// The media a partition is planned for.
enum class Media { kX68k, kPc, kFloppy };

bool PlanPartition(const PartitionLayout& layout, Media media, bool scatter,
                   std::unique_ptr<Planner>* planner, PartitionPlan* plan, std::string* error) {
  const bool x68k = media == Media::kX68k;
  const int fatBits = media == Media::kFloppy ? 12 : 16;
  const uint32_t ss = layout.sectorSize;
  if (ss < 256 || ss > 8192 || !IsPowerOfTwo(ss)) {
    *error = "sector size " + std::to_string(ss) + " is not a power of two from 256 to 8192";
    return false;
  }
  if (layout.sectorsPerCluster == 0 || layout.fatCount == 0 || layout.reservedSectors == 0) {
    *error = "sectors per cluster, FAT count and reserved sectors must be at least 1";
    return false;
  }
  plan->clusterBytes = ss * layout.sectorsPerCluster;
  plan->rootBytes = static_cast<uint32_t>(layout.rootEntries) * 32;

  // The data area starts at the root's start plus its whole sectors, so a root that ends
  // inside a sector shares that sector with cluster 2. When the entries in use, with the
  // end entry after them, reach into that shared sector, cluster 2 stays unused.
  size_t rootUsed = layout.root.size();
  for (const RawEntry& raw : layout.rawEntries) rootUsed += raw.directory == "\\" ? 1 : 0;
  const uint64_t rootNeed = (rootUsed + (rootUsed < layout.rootEntries ? 1 : 0)) * 32;
  const bool skipCluster2 = plan->rootBytes % ss != 0 && rootNeed > plan->rootBytes / ss * ss;

  // A floppy's clusters are as many as its layout says.
  const uint32_t lastCluster =
      media == Media::kFloppy ? layout.clusterCount + 1 : kMaxClusterCount + 1;
  *planner = std::make_unique<Planner>(layout, plan->clusterBytes, skipCluster2 ? 3 : 2,
                                       lastCluster, scatter);
  if (!(*planner)->Run(error)) return false;
  const uint32_t used = (*planner)->ClustersUsed();

  uint64_t clusterCount = layout.clusterCount != 0 ? layout.clusterCount : used + kSparedClusters;
  if (media == Media::kPc) clusterCount = std::max<uint64_t>(clusterCount, kMinPcClusterCount);
  if (clusterCount < used) {
    *error = "the tree needs " + std::to_string(used) + " clusters, more than " +
             std::to_string(clusterCount);
    return false;
  }
  if (clusterCount > kMaxClusterCount) {
    *error = std::to_string(clusterCount) + " clusters are more than FAT16 holds";
    return false;
  }
  plan->clusterCount = static_cast<uint32_t>(clusterCount);

  if (x68k) {
    // The boot sector gives the area before the FAT in 1024-byte units, so it must be a
    // whole number of both those units and sectors.
    const uint64_t bytes =
        RoundUp(static_cast<uint64_t>(layout.reservedSectors) * ss, std::lcm<uint64_t>(1024, ss));
    if (bytes / 1024 > 0xFFFF) {
      *error = "the area before the FAT exceeds 65535 units of 1024 bytes";
      return false;
    }
    plan->fatStart = static_cast<uint32_t>(bytes / ss);
  } else {
    if (layout.reservedSectors > 0xFFFF) {
      *error = "more than 65535 reserved sectors";
      return false;
    }
    // The boot sector's signature sits at byte 510, so the FAT starts after it.
    plan->fatStart = std::max<uint32_t>(layout.reservedSectors, (512 + ss - 1) / ss);
  }
  plan->fatSectors = static_cast<uint32_t>(RoundUp(FatBytes(clusterCount + 2, fatBits), ss) / ss);
  if (x68k && plan->fatSectors > 255) {
    *error = "a FAT of " + std::to_string(plan->fatSectors) +
             " sectors does not fit the boot sector's one-byte field";
    return false;
  }
  plan->rootStart = plan->fatStart + layout.fatCount * plan->fatSectors;
  plan->dataStart = plan->rootStart + plan->rootBytes / ss;
  plan->totalSectors = plan->dataStart + clusterCount * layout.sectorsPerCluster;
  if (!x68k && plan->totalSectors > 0xFFFFFFFFu) {
    *error = "the volume has more sectors than the boot sector records";
    return false;
  }
  return true;
}

// Writes FAT copies, directories and file contents of a planned partition whose boot
// sector lies at `start`, and records where it put each part.
void WritePartition(const PartitionLayout& layout, const PartitionPlan& plan, Planner* planner,
                    uint64_t start, bool bigEndian, int fatBits, Image* image) {
  const uint32_t ss = layout.sectorSize;
  PartitionPlacement placed;
  placed.start = start;
  placed.fatOffset = start + static_cast<uint64_t>(plan.fatStart) * ss;
  placed.rootOffset = start + static_cast<uint64_t>(plan.rootStart) * ss;
  placed.dataOffset = start + static_cast<uint64_t>(plan.dataStart) * ss;
  placed.clusterBytes = plan.clusterBytes;
  placed.fatBytes = plan.fatSectors * ss;
  placed.bigEndianFat = bigEndian;
  placed.fatBits = static_cast<uint8_t>(fatBits);
  placed.sectorSize = layout.sectorSize;
  placed.sectorsPerCluster = layout.sectorsPerCluster;
  placed.fatCount = layout.fatCount;
  placed.fatStartSectors = plan.fatStart;
  placed.fatSectors = plan.fatSectors;
  placed.rootEntries = layout.rootEntries;
  placed.clusterCount = plan.clusterCount;
  placed.sizeBytes = plan.totalSectors * ss;

  uint8_t* bytes = image->bytes.data();
  auto clusterAt = [&](uint16_t cluster) {
    return bytes + placed.dataOffset + static_cast<uint64_t>(cluster - 2) * plan.clusterBytes;
  };
  uint8_t* fat = bytes + placed.fatOffset;
  auto link = [&](const std::vector<uint16_t>& chain) {
    for (size_t i = 0; i < chain.size(); ++i) {
      const uint16_t end = fatBits == 12 ? kEndOfChain12 : kEndOfChain;
      const uint16_t value = i + 1 < chain.size() ? chain[i + 1] : end;
      StoreFatEntry(fat, chain[i], value, bigEndian, fatBits);
    }
  };

  // Entries 0 and 1 describe no cluster; they carry the media marks (a floppy's FAT starts
  // with its media byte, 0xFF, 0xFF).
  if (fatBits == 12) {
    StoreFatEntry(fat, 0, 0xF00 | kFloppyMedia, bigEndian, fatBits);
    StoreFatEntry(fat, 1, 0xFFF, bigEndian, fatBits);
  } else {
    StoreFat16(fat, 0xFFF8, bigEndian);
    StoreFat16(fat + 2, 0xFFFF, bigEndian);
  }

  for (const PlannedDirectory& directory : planner->directories) {
    auto entryAt = [&](size_t index) -> uint64_t {
      const uint64_t offset = index * 32;
      if (directory.isRoot) return placed.rootOffset + offset;
      return clusterAt(directory.clusters[offset / plan.clusterBytes]) - bytes +
             offset % plan.clusterBytes;
    };
    for (size_t i = 0; i < directory.entries.size(); ++i) {
      std::memcpy(bytes + entryAt(i), directory.entries[i].data(), 32);
    }
    for (const auto& named : directory.named) {
      planner->nodes[named.first].entryOffset = entryAt(named.second);
    }
    link(directory.clusters);
  }
  for (const PlannedFile& file : planner->files) {
    const std::string& contents = *file.contents;
    for (size_t i = 0; i < file.clusters.size(); ++i) {
      const size_t from = i * plan.clusterBytes;
      const size_t length = std::min<size_t>(plan.clusterBytes, contents.size() - from);
      std::memcpy(clusterAt(file.clusters[i]), contents.data() + from, length);
    }
    link(file.clusters);
  }
  for (uint32_t copy = 1; copy < layout.fatCount; ++copy) {
    std::memcpy(fat + static_cast<uint64_t>(copy) * placed.fatBytes, fat, placed.fatBytes);
  }
  placed.nodes = std::move(planner->nodes);
  image->partitions.push_back(std::move(placed));
}

Image Failed(const std::string& error) {
  Image image;
  image.error = error;
  return image;
}

}  // namespace

uint16_t DosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

Node File(const std::string& name, const std::string& contents, uint8_t attributes) {
  Node node;
  node.name = name;
  node.contents = contents;
  node.attributes = attributes;
  return node;
}

Node Dir(const std::string& name, std::vector<Node> children, uint8_t attributes) {
  Node node;
  node.name = name;
  node.isDirectory = true;
  node.attributes = attributes;
  node.children = std::move(children);
  return node;
}

uint64_t Image::ClusterOffset(int partition, uint16_t cluster) const {
  if (partition < 0 || static_cast<size_t>(partition) >= partitions.size()) return 0;
  const PartitionPlacement& p = partitions[partition];
  return p.dataOffset + (static_cast<uint64_t>(cluster) - 2) * p.clusterBytes;
}

void Image::Poke(uint64_t offset, uint8_t value) {
  if (offset < bytes.size()) bytes[offset] = value;
}

void Image::PokeBytes(uint64_t offset, const std::string& data) {
  for (size_t i = 0; i < data.size(); ++i) Poke(offset + i, static_cast<uint8_t>(data[i]));
}

void Image::SetFatEntry(int partition, uint16_t cluster, uint16_t value) {
  if (partition < 0 || static_cast<size_t>(partition) >= partitions.size()) return;
  const PartitionPlacement& p = partitions[partition];
  const uint64_t at = p.fatBits == 12 ? cluster * 3u / 2 : cluster * 2u;
  if (at + 2 > p.fatBytes) return;
  for (uint32_t copy = 0; copy < p.fatCount; ++copy) {
    const uint64_t offset = p.fatOffset + static_cast<uint64_t>(copy) * p.fatBytes;
    if (offset + p.fatBytes > bytes.size()) return;
    StoreFatEntry(&bytes[offset], cluster, value, p.bigEndianFat, p.fatBits);
  }
}

uint16_t Image::GetFatEntry(int partition, uint16_t cluster) const {
  if (partition < 0 || static_cast<size_t>(partition) >= partitions.size()) return 0;
  const PartitionPlacement& p = partitions[partition];
  const uint64_t at = p.fatBits == 12 ? cluster * 3u / 2 : cluster * 2u;
  const uint64_t offset = p.fatOffset + at;
  if (at + 2 > p.fatBytes || offset + 2 > bytes.size()) return 0;
  const uint8_t a = bytes[offset];
  const uint8_t b = bytes[offset + 1];
  if (p.fatBits == 12) {
    const uint16_t word = static_cast<uint16_t>((b << 8) | a);
    return static_cast<uint16_t>(cluster % 2 != 0 ? word >> 4 : word & 0xFFF);
  }
  return static_cast<uint16_t>(p.bigEndianFat ? (a << 8) | b : (b << 8) | a);
}

bool Image::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

uint64_t ClustersNeeded(const std::vector<Node>& root, uint32_t clusterBytes) {
  uint64_t clusters = 0;
  for (const Node& node : root) {
    clusters += NodeClusters(node, 0, clusterBytes);
    if (node.isDirectory) clusters += ClustersNeeded(node.children, clusterBytes);
  }
  return clusters;
}

uint8_t SmallestSectorsPerCluster(const std::vector<Node>& root, uint16_t sectorSize,
                                  uint64_t mostClusters) {
  uint32_t sectorsPerCluster = 1;
  while (sectorsPerCluster < 128 &&
         ClustersNeeded(root, sectorSize * sectorsPerCluster) + kSparedClusters > mostClusters) {
    sectorsPerCluster *= 2;
  }
  return static_cast<uint8_t>(sectorsPerCluster);
}

std::vector<uint8_t> WriteDim(const std::vector<uint8_t>& raw, const DimOptions& options) {
  const size_t tracks = raw.size() / kFloppyTrackBytes;
  if (raw.size() % kFloppyTrackBytes != 0 || tracks > kMostFloppyTracks) return {};
  std::vector<uint8_t> dim(kDimHeaderBytes, 0);
  dim[kDimMediaType] = kDimType2hd;
  std::memcpy(dim.data() + kDimSignature, kDimSignatureText, kDimSignatureBytes);
  const std::set<uint32_t> absent(options.absentTracks.begin(), options.absentTracks.end());
  for (uint32_t t = 0; t < tracks; ++t) {
    if (absent.count(t) != 0) continue;
    dim[kDimTrackFlags + t] = 1;
    const auto track = raw.begin() + static_cast<std::ptrdiff_t>(t) * kFloppyTrackBytes;
    dim.insert(dim.end(), track, track + kFloppyTrackBytes);
  }
  return dim;
}

std::vector<uint8_t> WriteD88(const std::vector<std::vector<uint8_t>>& disks,
                              const D88Options& options) {
  std::vector<uint8_t> file;
  for (size_t d = 0; d < disks.size(); ++d) {
    const std::vector<uint8_t>& raw = disks[d];
    const size_t tracks = raw.size() / kFloppyTrackBytes;
    if (raw.size() % kFloppyTrackBytes != 0 || tracks > kMostFloppyTracks) return {};
    std::map<uint32_t, const D88SectorMark*> marks;
    for (const D88SectorMark& mark : options.marks) {
      if (mark.disk == d) marks[mark.sector] = &mark;
    }
    // A table of 160 entries leaves the header 0x2A0 bytes long.
    const size_t start = file.size();
    file.resize(start + (options.shortTable ? kD88ShortTableEnd : kD88HeaderBytes), 0);
    const std::string name = "DISK" + std::to_string(d + 1);
    std::memcpy(&file[start + kD88Name], name.data(), std::min(name.size(), kD88NameBytes - 1));
    file[start + kD88MediaType] = kD88Media2hd;
    for (uint32_t t = 0; t < tracks; ++t) {
      StoreLe32(&file[start + kD88TrackTable + 4 * t], static_cast<uint32_t>(file.size() - start));
      std::vector<uint32_t> order;  // LBAs in the order stored
      for (uint32_t k = 0; k < kFloppySectorsPerTrack; ++k) {
        const uint32_t r = options.shuffled ? (k * 3 + t) % kFloppySectorsPerTrack : k;
        const uint32_t lba = t * kFloppySectorsPerTrack + r;
        if (marks.count(lba) == 0 || !marks[lba]->leftOut) order.push_back(lba);
      }
      for (uint32_t lba : order) {
        uint8_t header[kD88SectorHeaderBytes] = {};
        header[kD88Cylinder] = static_cast<uint8_t>(t / 2);
        header[kD88Head] = static_cast<uint8_t>(t % 2);
        header[kD88Record] = static_cast<uint8_t>(lba % kFloppySectorsPerTrack + 1);
        header[kD88SizeCode] = 3;
        StoreLe16(header + kD88SectorsInTrack, static_cast<uint32_t>(order.size()));
        if (marks.count(lba) != 0) {
          header[kD88Status] = marks[lba]->status;
          header[kD88Deleted] = marks[lba]->deleted;
        }
        StoreLe16(header + kD88DataSize, kFloppySectorBytes);
        file.insert(file.end(), header, header + sizeof header);
        const auto data = raw.begin() + static_cast<std::ptrdiff_t>(lba) * kFloppySectorBytes;
        file.insert(file.end(), data, data + kFloppySectorBytes);
      }
    }
    StoreLe32(&file[start + kD88DiskSize], static_cast<uint32_t>(file.size() - start));
  }
  return file;
}

Image BuildX68k(const X68kImageLayout& layout) {
  const uint32_t d = layout.deviceSectorSize;
  if (d == 0) return Failed("device sector size 0");
  if (layout.partitions.size() > kMaxTableEntries) {
    return Failed("more partitions than the table holds");
  }
  if (layout.firstPartitionKb < 4) {
    return Failed("the first partition would overlap the label and the partition table");
  }

  struct Planned {
    PartitionPlan plan;
    std::unique_ptr<Planner> planner;
    uint64_t start = 0;
  };
  std::vector<Planned> planned(layout.partitions.size());
  uint64_t position = static_cast<uint64_t>(layout.firstPartitionKb) * 1024;
  for (size_t i = 0; i < layout.partitions.size(); ++i) {
    const PartitionLayout& ps = layout.partitions[i];
    std::string error;
    if (!PlanPartition(ps, Media::kX68k, false, &planned[i].planner, &planned[i].plan, &error)) {
      return Failed("partition " + std::to_string(i) + ": " + error);
    }
    // The table gives starts in 1024-byte units; the reader turns them into device and
    // partition sectors, so a start must be a whole number of all three.
    const uint64_t unit = std::lcm<uint64_t>(std::lcm<uint64_t>(1024, d), ps.sectorSize);
    planned[i].start = RoundUp(position, unit);
    if (planned[i].start / 1024 > 0xFFFFFF) {
      return Failed("partition " + std::to_string(i) + " starts beyond the table's 24 bits");
    }
    position = planned[i].start + planned[i].plan.totalSectors * ps.sectorSize;
  }

  Image image;
  const uint64_t end = RoundUp(std::max<uint64_t>(position, 4096), d);
  image.bytes.assign(end, 0);
  uint8_t* bytes = image.bytes.data();
  std::memcpy(bytes, "X68SCSI1", 8);
  std::memcpy(bytes + kLabelTableOffset, "X68K", 4);
  for (size_t i = 0; i < planned.size(); ++i) {
    const PartitionLayout& ps = layout.partitions[i];
    const Planned& p = planned[i];
    const uint64_t sizeBytes = p.plan.totalSectors * ps.sectorSize;

    uint8_t* entry = bytes + kFirstTableEntry + i * kTableEntrySize;
    std::memcpy(entry, "Human68k", 8);
    StoreBe32(entry + 8, static_cast<uint32_t>(p.start / 1024));
    StoreBe32(entry + 12, static_cast<uint32_t>(RoundUp(sizeBytes, 1024) / 1024));

    uint8_t* boot = bytes + p.start;
    StoreBe16(boot + 18, ps.sectorSize);
    boot[20] = ps.sectorsPerCluster;
    boot[21] = ps.fatCount;
    StoreBe16(boot + 22,
              static_cast<uint32_t>(static_cast<uint64_t>(p.plan.fatStart) * ps.sectorSize / 1024));
    StoreBe16(boot + 24, ps.rootEntries);
    boot[29] = static_cast<uint8_t>(p.plan.fatSectors);

    WritePartition(ps, p.plan, p.planner.get(), p.start, true, 16, &image);
  }
  return image;
}

Image BuildPc(const PcImageLayout& layout) {
  const PartitionLayout& ps = layout.partition;
  PartitionPlan plan;
  std::unique_ptr<Planner> planner;
  std::string error;
  if (!PlanPartition(ps, Media::kPc, false, &planner, &plan, &error)) return Failed(error);

  Image image;
  image.bytes.assign(plan.totalSectors * ps.sectorSize, 0);
  uint8_t* boot = image.bytes.data();
  boot[0] = 0xEB;
  boot[1] = 0x3C;
  boot[2] = 0x90;
  std::memcpy(boot + 3, "PEEKDISK", 8);
  StoreLe16(boot + 11, ps.sectorSize);
  boot[13] = ps.sectorsPerCluster;
  StoreLe16(boot + 14, plan.fatStart);
  boot[16] = ps.fatCount;
  StoreLe16(boot + 17, ps.rootEntries);
  if (plan.totalSectors <= 0xFFFF) {
    StoreLe16(boot + 19, static_cast<uint32_t>(plan.totalSectors));
  } else {
    StoreLe32(boot + 32, static_cast<uint32_t>(plan.totalSectors));
  }
  boot[21] = 0xF8;  // fixed disk
  StoreLe16(boot + 22, plan.fatSectors);
  StoreLe16(boot + 24, 32);  // sectors per track
  StoreLe16(boot + 26, 2);   // heads
  boot[36] = 0x80;           // drive number
  boot[38] = 0x29;           // extended boot signature: volume id, label and type follow
  StoreLe32(boot + 39, 0x12345678);
  std::memcpy(boot + 43, "NO NAME    ", 11);
  std::memcpy(boot + 54, "FAT16   ", 8);
  boot[510] = 0x55;
  boot[511] = 0xAA;

  WritePartition(ps, plan, planner.get(), 0, false, 16, &image);
  return image;
}

Image BuildHumanFloppy(const PartitionLayout& layout, FloppyOptions options) {
  if (options.cylinders < kFloppyCylinders) return Failed("a 2HD disk has at least 77 cylinders");
  PartitionLayout ps;
  ps.sectorSize = kFloppySectorBytes;
  ps.sectorsPerCluster = 1;
  ps.fatCount = 2;
  ps.rootEntries = kFloppyRootEntries;
  ps.reservedSectors = 1;
  ps.clusterCount = kFloppyClusters;
  ps.root = layout.root;
  ps.rawEntries = layout.rawEntries;
  PartitionPlan plan;
  std::unique_ptr<Planner> planner;
  std::string error;
  if (!PlanPartition(ps, Media::kFloppy, options.scatter, &planner, &plan, &error))
    return Failed(error);

  Image image;
  image.bytes.assign(static_cast<uint64_t>(options.cylinders) * kFloppyCylinderBytes, 0);
  uint8_t* boot = image.bytes.data();
  // A 68000 branch over the BPB to a branch to itself.
  boot[0] = 0x60;
  boot[1] = 0x1C;
  std::memcpy(boot + 2, "Hudson soft 2.00", 16);
  boot[30] = 0x60;
  boot[31] = 0xFE;
  if (options.inconsistentBpb) {
    // The BPB of a 1.44 MB PC disk.
    StoreBe16(boot + 18, 512);
    boot[20] = 1;
    boot[21] = 2;
    StoreBe16(boot + 22, 1);
    StoreBe16(boot + 24, 224);
    StoreBe16(boot + 26, 2880);
    boot[28] = 0xF0;
    boot[29] = 9;
  } else {
    StoreBe16(boot + 18, ps.sectorSize);
    boot[20] = ps.sectorsPerCluster;
    boot[21] = ps.fatCount;
    StoreBe16(boot + 22, plan.fatStart);
    StoreBe16(boot + 24, ps.rootEntries);
    StoreBe16(boot + 26, static_cast<uint32_t>(plan.totalSectors));
    boot[28] = kFloppyMedia;
    boot[29] = static_cast<uint8_t>(plan.fatSectors);
  }
  WritePartition(ps, plan, planner.get(), 0, false, 12, &image);
  return image;
}

Node Stamped(Node node, uint16_t date, uint16_t time) {
  node.date = date;
  node.time = time;
  return node;
}

RawEntry MakeRawEntry(const std::string& directory, const std::string& name11, uint8_t attributes,
                      uint16_t time, uint16_t date, uint16_t cluster, uint32_t size) {
  RawEntry raw;
  raw.directory = directory;
  raw.bytes.fill(0);
  for (size_t i = 0; i < 11; ++i) {
    raw.bytes[i] = i < name11.size() ? static_cast<uint8_t>(name11[i]) : ' ';
  }
  raw.bytes[11] = attributes;
  for (int i = 0; i < 2; ++i) {
    raw.bytes[22 + i] = static_cast<uint8_t>(time >> (8 * i));
    raw.bytes[24 + i] = static_cast<uint8_t>(date >> (8 * i));
    raw.bytes[26 + i] = static_cast<uint8_t>(cluster >> (8 * i));
  }
  for (int i = 0; i < 4; ++i) raw.bytes[28 + i] = static_cast<uint8_t>(size >> (8 * i));
  return raw;
}

}  // namespace imagebuilder
