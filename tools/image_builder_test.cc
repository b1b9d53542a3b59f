#include "tools/image_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "tests/fake_sector_device.h"
#include "volume/pc_fat_volume.h"
#include "volume/x68k_scsi_volume.h"

namespace imagebuilder {
namespace {

namespace fs = std::filesystem;

// Deterministic bytes of every value, different for each seed.
std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + seed * 13 + i / 251) & 0xFF);
  return s;
}

Node Fragmented(Node node) {
  node.fragmented = true;
  return node;
}

Node Dated(Node node) {
  node.date = DosDate(1998, 7, 15);
  node.time = DosTime(12, 34, 56);
  for (Node& child : node.children) child = Dated(child);
  return node;
}

// A scratch directory removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device random;
    path = fs::temp_directory_path() / ("image_builder_test_" + std::to_string(random()));
    fs::create_directories(path);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return (path / name).string(); }

 private:
  fs::path path;
};

struct CommandResult {
  int status;
  std::string output;
};

// Runs a shell command with the mtools geometry check off; its standard output.
CommandResult RunTool(const std::string& command) {
  CommandResult result{-1, ""};
  FILE* pipe = popen(("MTOOLS_SKIP_CHECK=1 " + command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  result.status = pclose(pipe);
  return result;
}

void WriteHostFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

// The in-use entries of a loaded directory, decoded by the volume, up to its end entry.
std::vector<FindResult> Entries(HumanVolume* volume, const LoadedChain& directory) {
  std::vector<FindResult> entries;
  const uint8_t* p = directory.bytes.data();
  const uint8_t* end = p + directory.entryBytes;
  while (p + 32 <= end) {
    FindResult entry;
    const uint8_t* next = volume->DecodeDirEntry(p, &entry);
    if (entry.firstByte == 0) break;
    if (entry.firstByte != 0xE5) entries.push_back(std::move(entry));
    p = next;
  }
  return entries;
}

std::vector<std::string> Names(HumanVolume* volume, const LoadedChain& directory) {
  std::vector<std::string> names;
  for (const FindResult& entry : Entries(volume, directory)) names.push_back(entry.fileName);
  return names;
}

// The file's bytes as its chain holds them, cut to its size.
std::string Contents(HumanVolume* volume, const FindResult& entry) {
  if (entry.firstCluster == 0) return entry.fileSize == 0 ? "" : "<no chain>";
  std::unique_ptr<LoadedChain> chain = volume->LoadChain(entry.firstCluster);
  if (!chain) return "<unreadable>";
  if (chain->bytes.size() < entry.fileSize) return "<chain too short>";
  return std::string(chain->bytes.begin(), chain->bytes.begin() + entry.fileSize);
}

// Checks that `directory`, read through `volume`, holds exactly `nodes` (any order,
// volume labels and long-name entries left aside) with their contents, and recursively
// each subdirectory with its "." and ".." entries.
void ExpectTree(HumanVolume* volume, const LoadedChain& directory, const std::vector<Node>& nodes,
                uint16_t self, uint16_t parent, bool isRoot, const std::string& path) {
  SCOPED_TRACE(path);
  std::vector<FindResult> entries = Entries(volume, directory);
  std::vector<const FindResult*> named;
  for (const FindResult& entry : entries) {
    if ((entry.attributes & 0x08) != 0) continue;  // labels and long-name parts
    named.push_back(&entry);
  }
  size_t first = 0;
  if (!isRoot) {
    ASSERT_GE(named.size(), 2u);
    EXPECT_STREQ(".", named[0]->fileName);
    EXPECT_EQ(self, named[0]->firstCluster);
    EXPECT_STREQ("..", named[1]->fileName);
    EXPECT_EQ(parent, named[1]->firstCluster);
    first = 2;
  }
  ASSERT_EQ(nodes.size(), named.size() - first);
  for (const Node& node : nodes) {
    SCOPED_TRACE(node.name);
    const FindResult* entry = nullptr;
    for (size_t i = first; i < named.size(); ++i) {
      if (named[i]->fileName == node.name) entry = named[i];
    }
    ASSERT_NE(nullptr, entry);
    if (node.isDirectory) {
      ASSERT_EQ(0x10, entry->attributes & 0x10);
      std::unique_ptr<LoadedChain> sub = volume->LoadChain(entry->firstCluster);
      ASSERT_TRUE(sub);
      ExpectTree(volume, *sub, node.children, entry->firstCluster, self, false,
                 path + "\\" + node.name);
    } else {
      EXPECT_EQ(node.contents.size(), entry->fileSize);
      EXPECT_TRUE(Contents(volume, *entry) == node.contents);
    }
  }
}

// Copies a tree into a FAT image with mtools, directories made with mmd.
void CopyWithMtools(const std::string& image, const ScratchDir& scratch,
                    const std::vector<Node>& nodes, const std::string& target) {
  for (const Node& node : nodes) {
    const std::string destination = target + "/" + node.name;
    if (node.isDirectory) {
      ASSERT_EQ(0, RunTool("mmd -i " + image + " " + destination).status);
      CopyWithMtools(image, scratch, node.children, destination);
    } else {
      const std::string host = scratch / "host.bin";
      WriteHostFile(host, node.contents);
      ASSERT_EQ(0, RunTool("mcopy -i " + image + " " + host + " " + destination).status);
    }
  }
}

// Files, one of them fragmented, an empty one, and a directory with a fragmented file and
// a directory of its own; contents a few clusters long and different per partition.
std::vector<Node> SampleTree(int partition, uint32_t clusterBytes) {
  return {
      File("CONT.TXT", Pattern(clusterBytes * 3 + clusterBytes / 2, partition)),
      Fragmented(File("FRAG.BIN", Pattern(clusterBytes * 4 + 10, partition + 100))),
      File("EMPTY", ""),
      Dir("SUB", {Fragmented(File("INNER.DAT", Pattern(clusterBytes * 2 + 1, partition + 200))),
                  Dir("DEEP", {File("LEAF.TXT", "leaf " + std::to_string(partition))})}),
      File("ABCDEFGHIJKLMNOPQR.TXT", "eighteen-byte base"),
      File("lower.c", "kept as given"),
  };
}

TEST(PcImageTest, DosfstoolsAndMtoolsReadWhatWasBuilt) {
  struct Case {
    const char* name;
    uint8_t sectorsPerCluster;
    uint32_t clusterCount;
  };
  const Case cases[] = {
      {"fewest clusters, 16-bit sector count", 1, 0},
      {"32-bit sector count", 4, 16500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Node> many;
    for (int i = 0; i < 40; ++i) many.push_back(File("F" + std::to_string(i) + ".TXT", "n"));
    PcImageLayout layout;
    layout.partition.sectorSize = 512;
    layout.partition.sectorsPerCluster = c.sectorsPerCluster;
    layout.partition.clusterCount = c.clusterCount;
    layout.partition.root = {
        Dated(File("README.DOC", "read me\r\n")),
        Dated(Fragmented(File("DATA.BIN", Pattern(5000, 1)))),
        Dated(File("EMPTY.TXT", "")),
        Dated(
            Dir("SUB", {File("FILE.TXT", "hello\n"), Fragmented(File("FRAG.TXT", Pattern(3000, 2))),
                        Dir("NEST", {File("LEAF.TXT", "leaf")})})),
        Dated(Fragmented(Dir("MANY", many))),
    };
    Image image = BuildPc(layout);
    ASSERT_EQ("", image.error);
    ScratchDir scratch;
    const std::string path = scratch / "pc.img";
    ASSERT_TRUE(image.WriteTo(path));

    EXPECT_EQ(0, RunTool("fsck.fat -n " + path).status);
    CommandResult root = RunTool("mdir -b -i " + path + " ::");
    EXPECT_EQ(0, root.status);
    EXPECT_EQ("::/README.DOC\n::/DATA.BIN\n::/EMPTY.TXT\n::/SUB/\n::/MANY/\n", root.output);
    EXPECT_EQ("::/SUB/FILE.TXT\n::/SUB/FRAG.TXT\n::/SUB/NEST/\n",
              RunTool("mdir -b -i " + path + " ::/SUB").output);
    std::string manyListing;
    for (int i = 0; i < 40; ++i) manyListing += "::/MANY/F" + std::to_string(i) + ".TXT\n";
    EXPECT_EQ(manyListing, RunTool("mdir -b -i " + path + " ::/MANY").output);
    // Dates and times as mtools reads them.
    EXPECT_NE(std::string::npos, RunTool("mdir -i " + path + " ::")
                                     .output.find("\nREADME   DOC         9 1998-07-15  12:34 \n"));

    const std::pair<const char*, std::string> files[] = {
        {"::/README.DOC", "read me\r\n"},
        {"::/DATA.BIN", Pattern(5000, 1)},
        {"::/EMPTY.TXT", ""},
        {"::/SUB/FILE.TXT", "hello\n"},
        {"::/SUB/FRAG.TXT", Pattern(3000, 2)},
        {"::/SUB/NEST/LEAF.TXT", "leaf"},
        {"::/MANY/F39.TXT", "n"},
    };
    for (const auto& file : files) {
      SCOPED_TRACE(file.first);
      CommandResult typed = RunTool("mtype -i " + path + " " + file.first);
      EXPECT_EQ(0, typed.status);
      EXPECT_TRUE(typed.output == file.second);
    }
  }
}

TEST(PcImageTest, PcFatVolumeReadsAnImageMadeByMkfsAndMtools) {
  ScratchDir scratch;
  const std::string path = scratch / "mkfs.img";
  ASSERT_EQ(0, RunTool("mkfs.fat -F 16 -S 512 -s 4 -R 4 -f 2 -r 512 -n PEEKTEST -C " + path +
                       " 16384 >/dev/null")
                   .status);
  const std::vector<Node> tree = {
      File("A.BIN", Pattern(4096, 1)),
      File("C.TXT", "third"),
      File("EMPTY.TXT", ""),
      Dir("SUB", {File("INNER.DAT", Pattern(10000, 2)), Dir("DEEP", {File("LEAF.TXT", "leaf")})}),
  };
  // B.BIN, deleted before D.BIN is copied, leaves a two-cluster hole that D.BIN fills
  // before it continues after the last cluster in use: a chain with a jump.
  CopyWithMtools(path, scratch, {tree[0], File("B.BIN", Pattern(4096, 3)), tree[1]}, "::");
  ASSERT_EQ(0, RunTool("mdel -i " + path + " ::/B.BIN").status);
  const Node jumping = File("D.BIN", Pattern(20000, 4));
  CopyWithMtools(path, scratch, {jumping, tree[2], tree[3]}, "::");
  std::vector<Node> expected = tree;
  expected.push_back(jumping);

  // The geometry as dosfstools reports it.
  const std::string report = RunTool("fsck.fat -n -v " + path).output;
  std::smatch fatMatch, rootMatch;
  ASSERT_TRUE(std::regex_search(report, fatMatch, std::regex(R"(\(= (\d+) sectors\))")));
  ASSERT_TRUE(
      std::regex_search(report, rootMatch, std::regex(R"(Root directory starts at byte (\d+))")));

  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  FakeSectorDevice device(bytes, 512);
  PcFatVolume recognizer;
  EXPECT_EQ(0, X68kScsiVolume().Recognize(&device));
  ASSERT_EQ(1, recognizer.Recognize(&device));
  PcFatVolume volume(&device);
  PartitionInfo table[15];
  ASSERT_EQ(1, volume.ReadPartitionTable(table, 15));
  EXPECT_EQ(512, table[0].sectorSize);
  EXPECT_EQ(4, table[0].sectorsPerCluster);
  EXPECT_EQ(0, table[0].startSector);
  EXPECT_EQ(32768, table[0].partitionSectors);
  EXPECT_EQ(4, table[0].fatStart);
  EXPECT_EQ(std::stoi(fatMatch[1]), table[0].fatSectors);
  EXPECT_EQ(2, table[0].fatCount);
  EXPECT_EQ(std::stoi(rootMatch[1]) / 512, table[0].rootStart);
  EXPECT_EQ(16384, table[0].rootBytes);
  ASSERT_EQ(0, volume.SelectPartition(table[0]));

  std::unique_ptr<LoadedChain> root = volume.LoadChain(0);
  ASSERT_TRUE(root);
  ExpectTree(&volume, *root, expected, 0, 0, true, "\\");
  // D.BIN's chain really jumps.
  int jumps = -1;
  for (const FindResult& entry : Entries(&volume, *root)) {
    if (std::string(entry.fileName) != "D.BIN") continue;
    jumps = 0;
    for (uint16_t c = entry.firstCluster; !volume.IsEndOfChain(volume.NextCluster(c));
         c = volume.NextCluster(c)) {
      jumps += volume.NextCluster(c) != c + 1 ? 1 : 0;
    }
  }
  EXPECT_GE(jumps, 1);
}

struct X68kCase {
  const char* name;
  uint32_t deviceSectorSize;
  uint16_t sectorSize;  // 0: partition i takes 512 << (i % 5), never below the device's
  uint8_t sectorsPerCluster;
  int partitions;
  uint16_t rootEntries;
  int extraRootFiles;
};

class X68kImageTest : public testing::TestWithParam<X68kCase> {};

TEST_P(X68kImageTest, VolumeReadsEveryPartitionAsBuilt) {
  const X68kCase& c = GetParam();
  X68kImageLayout layout;
  layout.deviceSectorSize = c.deviceSectorSize;
  for (int p = 0; p < c.partitions; ++p) {
    PartitionLayout partition;
    partition.sectorSize = c.sectorSize != 0 ? c.sectorSize : static_cast<uint16_t>(512 << (p % 5));
    if (partition.sectorSize < c.deviceSectorSize) partition.sectorSize = c.deviceSectorSize;
    partition.sectorsPerCluster = c.sectorsPerCluster;
    partition.rootEntries = c.rootEntries;
    partition.root = SampleTree(p, partition.sectorSize * c.sectorsPerCluster);
    for (int i = 0; i < c.extraRootFiles; ++i) {
      partition.root.push_back(File("X" + std::to_string(i), std::to_string(i)));
    }
    layout.partitions.push_back(partition);
  }
  Image image = BuildX68k(layout);
  ASSERT_EQ("", image.error);
  ASSERT_EQ(static_cast<size_t>(c.partitions), image.partitions.size());

  FakeSectorDevice device(image.bytes, static_cast<int32_t>(c.deviceSectorSize));
  ASSERT_EQ(1, X68kScsiVolume().Recognize(&device));
  PartitionInfo table[15];
  ASSERT_EQ(c.partitions, X68kScsiVolume(&device).ReadPartitionTable(table, 15));
  for (int p = 0; p < c.partitions; ++p) {
    SCOPED_TRACE("partition " + std::to_string(p));
    const PartitionLayout& ps = layout.partitions[p];
    const PartitionPlacement& placed = image.partitions[p];
    const PartitionInfo& info = table[p];
    EXPECT_EQ(0u, placed.start % c.deviceSectorSize);
    EXPECT_EQ(0u, placed.start % ps.sectorSize);
    if (p > 0) {
      EXPECT_GE(placed.start, image.partitions[p - 1].start + image.partitions[p - 1].sizeBytes);
    }
    EXPECT_EQ(ps.sectorSize, info.sectorSize);
    EXPECT_EQ(ps.sectorsPerCluster, info.sectorsPerCluster);
    EXPECT_EQ(placed.start / ps.sectorSize, static_cast<uint64_t>(info.startSector));
    EXPECT_EQ(placed.fatOffset - placed.start,
              static_cast<uint64_t>(info.fatStart) * ps.sectorSize);
    EXPECT_EQ(ps.fatCount, info.fatCount);
    EXPECT_EQ(placed.fatBytes, static_cast<uint32_t>(info.fatSectors) * ps.sectorSize);
    EXPECT_EQ(placed.rootOffset - placed.start,
              static_cast<uint64_t>(info.rootStart) * ps.sectorSize);
    EXPECT_EQ(c.rootEntries * 32, info.rootBytes);

    X68kScsiVolume volume(&device);
    ASSERT_EQ(0, volume.SelectPartition(info));
    std::unique_ptr<LoadedChain> root = volume.LoadChain(0);
    ASSERT_TRUE(root);
    ExpectTree(&volume, *root, ps.root, 0, 0, true, "\\");
    std::vector<std::string> names = Names(&volume, *root);
    names.resize(6);
    EXPECT_EQ((std::vector<std::string>{"CONT.TXT", "FRAG.BIN", "EMPTY", "SUB",
                                        "ABCDEFGHIJKLMNOPQR.TXT", "lower.c"}),
              names);
    // A fragmented chain runs backwards with a free cluster beside each of its clusters.
    const std::vector<uint16_t>& frag = placed.nodes.at("\\FRAG.BIN").clusters;
    ASSERT_EQ(5u, frag.size());
    for (size_t i = 0; i + 1 < frag.size(); ++i) EXPECT_EQ(frag[i] - 2, frag[i + 1]);
    EXPECT_EQ(0, volume.NextCluster(frag.back() - 1));
    EXPECT_TRUE(placed.nodes.at("\\EMPTY").clusters.empty());
    EXPECT_EQ(placed.rootOffset + 2 * 32, placed.nodes.at("\\EMPTY").entryOffset);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, X68kImageTest,
    testing::Values(X68kCase{"OneOf256On256", 256, 256, 2, 1, 512, 0},
                    X68kCase{"OneOf512On512", 512, 512, 1, 1, 512, 0},
                    X68kCase{"OneOf1024On512", 512, 1024, 2, 1, 512, 0},
                    X68kCase{"OneOf2048On512", 512, 2048, 1, 1, 512, 0},
                    X68kCase{"OneOf2048On2048", 2048, 2048, 1, 1, 512, 0},
                    X68kCase{"OneOf8192On512", 512, 8192, 1, 1, 512, 0},
                    X68kCase{"FifteenOf512On512", 512, 512, 2, 15, 512, 0},
                    X68kCase{"FifteenOf1024On512", 512, 1024, 1, 15, 64, 0},
                    X68kCase{"FifteenOf2048On2048", 2048, 2048, 4, 15, 64, 0},
                    X68kCase{"FifteenMixedOn512", 512, 0, 1, 15, 128, 0},
                    X68kCase{"FifteenMixedOn2048", 2048, 0, 1, 15, 128, 0},
                    // 100 entries end 128 bytes into a 1024-byte sector that the data
                    // area starts with; 97 of them in use reach into it.
                    X68kCase{"RootSharingASectorWithData", 512, 1024, 1, 1, 100, 91},
                    X68kCase{"RootFullToItsLastEntry", 512, 512, 1, 1, 16, 10}),
    [](const testing::TestParamInfo<X68kCase>& info) { return std::string(info.param.name); });

TEST(X68kImageTest, LaysOutLabelTableBootSectorAndFatsAtTheirOffsets) {
  X68kImageLayout layout;
  PartitionLayout partition;
  partition.sectorSize = 1024;
  partition.sectorsPerCluster = 2;
  partition.clusterCount = 8000;  // 8002 FAT entries: 16 sectors
  partition.root = {File("A.TXT", "a")};
  layout.partitions.push_back(partition);
  Image image = BuildX68k(layout);
  ASSERT_EQ("", image.error);

  const std::vector<uint8_t> label(image.bytes.begin(), image.bytes.begin() + 8);
  EXPECT_EQ(std::vector<uint8_t>({'X', '6', '8', 'S', 'C', 'S', 'I', '1'}), label);
  // "Human68k", start 32 KiB, 49 + 16000 sectors of 1024 bytes.
  const std::vector<uint8_t> entry(image.bytes.begin() + 2064, image.bytes.begin() + 2084);
  EXPECT_EQ(std::vector<uint8_t>({'H', 'u',  'm', 'a', 'n',  '6',  '8', 'k', 0, 0,
                                  0,   0x20, 0,   0,   0x3E, 0xB1, 0,   0,   0, 0}),
            entry);
  const std::vector<uint8_t> boot(image.bytes.begin() + 32768 + 18,
                                  image.bytes.begin() + 32768 + 30);
  EXPECT_EQ(std::vector<uint8_t>({0x04, 0x00, 2, 2, 0x00, 0x01, 0x02, 0x00, 0, 0, 0, 16}), boot);
  // FAT media marks and the one-cluster chain of A.TXT, big-endian.
  const std::vector<uint8_t> fat(image.bytes.begin() + 33792, image.bytes.begin() + 33798);
  EXPECT_EQ(std::vector<uint8_t>({0xFF, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF}), fat);
  EXPECT_EQ(0, std::memcmp(&image.bytes[33792], &image.bytes[33792 + 16384], 16384));
  // Clusters 2, 3 and 10 at device sectors 98, 102 and 130 of the partition.
  EXPECT_EQ((64u + 98) * 512, image.ClusterOffset(0, 2));
  EXPECT_EQ((64u + 102) * 512, image.ClusterOffset(0, 3));
  EXPECT_EQ((64u + 130) * 512, image.ClusterOffset(0, 10));
  EXPECT_EQ('a', image.bytes[(64 + 98) * 512]);
  EXPECT_EQ(32768u + 16049 * 1024, image.bytes.size());

  FakeSectorDevice device(image.bytes, 512);
  PartitionInfo info;
  ASSERT_EQ(1, X68kScsiVolume(&device).ReadPartitionTable(&info, 1));
  EXPECT_EQ(32, info.startSector);
  EXPECT_EQ(1, info.fatStart);
  EXPECT_EQ(16, info.fatSectors);
  EXPECT_EQ(33, info.rootStart);
  EXPECT_EQ(16384, info.rootBytes);
}

TEST(X68kImageTest, PartitionStartsRoundUpToWholeUnitsAndSectors) {
  X68kImageLayout layout;
  layout.deviceSectorSize = 2048;
  layout.firstPartitionKb = 33;
  for (uint16_t size : {2048, 8192, 256}) {
    PartitionLayout partition;
    partition.sectorSize = size;
    partition.rootEntries = 32;
    partition.clusterCount = 1;
    partition.reservedSectors = 3;
    layout.partitions.push_back(partition);
  }
  Image image = BuildX68k(layout);
  ASSERT_EQ("", image.error);
  // 2048-byte sectors: from 33 KiB up to 34 KiB; 3 sectors before the FAT (6 KiB), 2
  // FATs of 1 sector, a root ending inside the data area's first sector, 1 cluster: 12 KiB.
  // 8192-byte sectors: from 46 KiB up to 48 KiB; the same 6 sectors: 48 KiB. 256-byte
  // sectors: at 96 KiB; 768 bytes before the FAT round up to 1 KiB.
  const uint8_t* table = &image.bytes[2064];
  const uint8_t* boot0 = &image.bytes[34 * 1024];
  const uint8_t* boot1 = &image.bytes[48 * 1024];
  const uint8_t* boot2 = &image.bytes[96 * 1024];
  EXPECT_EQ(34, table[11]);
  EXPECT_EQ(12, table[15]);
  EXPECT_EQ(48, table[16 + 11]);
  EXPECT_EQ(48, table[16 + 15]);
  EXPECT_EQ(96, table[32 + 11]);
  EXPECT_EQ(6, boot0[23]);
  EXPECT_EQ(24, boot1[23]);
  EXPECT_EQ(1, boot2[23]);
  EXPECT_EQ(0, table[48]);

  FakeSectorDevice device(image.bytes, 2048);
  PartitionInfo info[3];
  // The third partition's sectors are smaller than the device's: the table is refused.
  EXPECT_EQ(0, X68kScsiVolume(&device).ReadPartitionTable(info, 3));
  ASSERT_EQ(2, X68kScsiVolume(&device).ReadPartitionTable(info, 2));
  EXPECT_EQ(17, info[0].startSector);
  EXPECT_EQ(3, info[0].fatStart);
  EXPECT_EQ(6, info[1].startSector);
  EXPECT_EQ(3, info[1].fatStart);
}

TEST(X68kImageTest, DirectoriesEndWithTheirEntriesOrAFreeOne) {
  X68kImageLayout layout;
  PartitionLayout partition;
  partition.sectorSize = 512;  // 16 entries a cluster
  std::vector<Node> thirteen, fourteen;
  for (int i = 0; i < 14; ++i) {
    if (i < 13) thirteen.push_back(File("F" + std::to_string(i), ""));
    fourteen.push_back(File("F" + std::to_string(i), ""));
  }
  partition.root = {Dir("EXACT", thirteen), Dir("OVER", fourteen)};
  RawEntry deleted{"\\EXACT", {}};
  deleted.bytes.fill(0);
  deleted.bytes[0] = 0xE5;
  deleted.bytes[1] = 'X';
  RawEntry label{"\\", {}};
  std::memcpy(label.bytes.data(), "VOLUME     \x08", 12);
  partition.rawEntries = {deleted, label, deleted};
  partition.rawEntries[2].directory = "\\OVER";
  layout.partitions.push_back(partition);
  Image image = BuildX68k(layout);
  ASSERT_EQ("", image.error);
  const PartitionPlacement& placed = image.partitions[0];

  // ".", "..", 13 files and the deleted entry fill one cluster exactly; one more file
  // takes a second cluster.
  ASSERT_EQ(1u, placed.nodes.at("\\EXACT").clusters.size());
  ASSERT_EQ(2u, placed.nodes.at("\\OVER").clusters.size());
  const uint64_t exact = image.ClusterOffset(0, placed.nodes.at("\\EXACT").clusters[0]);
  EXPECT_EQ(0xE5, image.bytes[exact + 15 * 32]);
  EXPECT_EQ(exact + 14 * 32, placed.nodes.at("\\EXACT\\F12").entryOffset);
  EXPECT_EQ(0, std::memcmp(&image.bytes[placed.rootOffset + 64], label.bytes.data(), 32));
  EXPECT_EQ(0, image.bytes[placed.rootOffset + 96]);

  FakeSectorDevice device(image.bytes, 512);
  PartitionInfo info;
  ASSERT_EQ(1, X68kScsiVolume(&device).ReadPartitionTable(&info, 1));
  X68kScsiVolume volume(&device);
  ASSERT_EQ(0, volume.SelectPartition(info));
  std::unique_ptr<LoadedChain> root = volume.LoadChain(0);
  EXPECT_EQ((std::vector<std::string>{"EXACT", "OVER", "VOLUME"}), Names(&volume, *root));
  std::unique_ptr<LoadedChain> full = volume.LoadChain(placed.nodes.at("\\EXACT").clusters[0]);
  ASSERT_TRUE(full);
  EXPECT_EQ(512u + 32, full->bytes.size());
  EXPECT_EQ(15u, Names(&volume, *full).size());
  std::unique_ptr<LoadedChain> over = volume.LoadChain(placed.nodes.at("\\OVER").clusters[0]);
  ASSERT_TRUE(over);
  std::vector<std::string> names = Names(&volume, *over);
  ASSERT_EQ(16u, names.size());
  EXPECT_EQ("F13", names.back());
  EXPECT_EQ(0, over->bytes[17 * 32]);  // the free entry after the deleted one
}

TEST(ImageTest, NamesAreStoredAsGiven) {
  X68kImageLayout layout;
  PartitionLayout partition;
  partition.root = {File("\xE5X.DAT", "e5"), File("PROGRAMSLIST.TXT", "long"), File("a.b", "")};
  layout.partitions.push_back(partition);
  Image image = BuildX68k(layout);
  ASSERT_EQ("", image.error);
  const PartitionPlacement& placed = image.partitions[0];
  auto entry = [&](const char* path) {
    const uint64_t at = placed.nodes.at(path).entryOffset;
    return std::string(image.bytes.begin() + at, image.bytes.begin() + at + 22);
  };
  EXPECT_EQ(std::string("\x05X      DAT\x20", 12) + std::string(10, '\0'), entry("\\\xE5X.DAT"));
  EXPECT_EQ(std::string("PROGRAMSTXT\x20LIST      ", 22), entry("\\PROGRAMSLIST.TXT"));
  EXPECT_EQ(std::string("a       b  \x20", 12) + std::string(10, '\0'), entry("\\a.b"));
}

TEST(ImageTest, SetFatEntryWritesEveryCopyInTheMediaByteOrder) {
  PartitionLayout partition;
  partition.sectorSize = 512;
  partition.fatCount = 3;
  X68kImageLayout x68k;
  x68k.partitions.push_back(partition);
  PcImageLayout pc;
  pc.partition = partition;
  struct Case {
    const char* name;
    Image image;
    uint8_t high, low;  // bytes of 0x1234 in FAT order
  };
  Case cases[] = {{"X68000", BuildX68k(x68k), 0x12, 0x34}, {"PC", BuildPc(pc), 0x34, 0x12}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ("", c.image.error);
    c.image.SetFatEntry(0, 5, 0x1234);
    EXPECT_EQ(0x1234, c.image.GetFatEntry(0, 5));
    const PartitionPlacement& placed = c.image.partitions[0];
    for (uint32_t copy = 0; copy < 3; ++copy) {
      EXPECT_EQ(c.high, c.image.bytes[placed.fatOffset + copy * placed.fatBytes + 10]);
      EXPECT_EQ(c.low, c.image.bytes[placed.fatOffset + copy * placed.fatBytes + 11]);
    }
  }
  FakeSectorDevice device(cases[0].image.bytes, 512);
  PartitionInfo info;
  ASSERT_EQ(1, X68kScsiVolume(&device).ReadPartitionTable(&info, 1));
  X68kScsiVolume volume(&device);
  ASSERT_EQ(0, volume.SelectPartition(info));
  EXPECT_EQ(0x1234, volume.NextCluster(5));
}

TEST(ImageTest, ClustersAreSizedFromWhatEachNodeTakes) {
  auto folder = [](size_t count, size_t size) {  // only sizes count, so names may repeat
    return Dir("D", std::vector<Node>(count, File("F", std::string(size, 'f'))));
  };
  // Each: tree, most clusters, sectors per cluster chosen, clusters taken (32 entries a KiB).
  const std::vector<Node> mixed = {File("A", ""), File("B", "b"), File("C", std::string(1025, 'c')),
                                   folder(30, 0), folder(31, 0)};
  const std::tuple<std::vector<Node>, uint64_t, uint8_t, uint64_t> cases[] = {
      {mixed, 22, 1, 6},
      {{folder(40000, 1200)}, 65000, 2, 40000 + 626},
      {{File("A", std::string(300000, 'a'))}, 17, 128, 3}};
  for (const auto& [root, mostClusters, sectorsPerCluster, clusters] : cases) {
    EXPECT_EQ(sectorsPerCluster, SmallestSectorsPerCluster(root, 1024, mostClusters));
    EXPECT_EQ(clusters, ClustersNeeded(root, 1024u * sectorsPerCluster));
  }
}

TEST(ImageTest, LayoutsThatCannotBeBuiltSayWhy) {
  auto x68k = [](PartitionLayout partition, uint32_t firstKb = 32) {
    X68kImageLayout layout;
    layout.firstPartitionKb = firstKb;
    layout.partitions.push_back(std::move(partition));
    return BuildX68k(layout).error;
  };
  auto pc = [](PartitionLayout partition) {
    PcImageLayout layout;
    layout.partition = std::move(partition);
    return BuildPc(layout).error;
  };
  PartitionLayout longName;
  longName.root = {Dir("D", {File("ABCDEFGHIJKLMNOPQRS.TXT", "")})};
  PartitionLayout longExtension;
  longExtension.root = {File("A.TEXT", "")};
  PartitionLayout dots;
  dots.root = {File("..", "")};
  PartitionLayout smallRoot;
  smallRoot.rootEntries = 2;
  smallRoot.root = {File("A", ""), File("B", "")};
  smallRoot.rawEntries = {RawEntry{"\\", {}}};
  PartitionLayout strayRaw;
  strayRaw.root = {File("A", "")};
  strayRaw.rawEntries = {RawEntry{"\\A", {}}};
  PartitionLayout oddSector;
  oddSector.sectorSize = 768;
  PartitionLayout bigFat;
  bigFat.sectorSize = 256;
  bigFat.clusterCount = 65000;
  PartitionLayout fewClusters;
  fewClusters.sectorSize = 512;
  fewClusters.clusterCount = 2;
  fewClusters.root = {File("A", std::string(1025, 'a'))};
  PartitionLayout tooManyClusters;
  tooManyClusters.clusterCount = 65525;

  EXPECT_EQ("name \"ABCDEFGHIJKLMNOPQRS.TXT\" does not fit 18 + 3 bytes", pc(longName));
  EXPECT_EQ("partition 0: name \"A.TEXT\" does not fit 18 + 3 bytes", x68k(longExtension));
  EXPECT_EQ("invalid name \"..\"", pc(dots));
  EXPECT_EQ("the root directory needs 3 entries but has room for 2", pc(smallRoot));
  EXPECT_EQ("raw entries for \"\\A\", which is not a directory of the tree", pc(strayRaw));
  EXPECT_EQ("sector size 768 is not a power of two from 256 to 8192", pc(oddSector));
  EXPECT_EQ("partition 0: a FAT of 508 sectors does not fit the boot sector's one-byte field",
            x68k(bigFat));
  EXPECT_EQ("partition 0: the tree needs 3 clusters, more than 2", x68k(fewClusters));
  EXPECT_EQ("65525 clusters are more than FAT16 holds", pc(tooManyClusters));
  EXPECT_EQ("the first partition would overlap the label and the partition table",
            x68k(PartitionLayout(), 3));
}

TEST(FloppyContainerTest, DimAndD88PutEachFieldAtItsOffset) {
  const std::vector<uint8_t> raw(154 * 8192, 0xEE);
  const std::vector<uint8_t> dim = WriteDim(raw, {{1}});
  EXPECT_EQ(dim.size(), 256u + 153 * 8192);
  EXPECT_EQ(std::vector<uint8_t>(dim.begin(), dim.begin() + 4), (std::vector<uint8_t>{0, 1, 0, 1}));
  EXPECT_EQ(std::string(dim.begin() + 0xAB, dim.begin() + 0xB8), "DIFC HEADER  ");
  const std::vector<uint8_t> d88 = WriteD88({raw}, {false, false, {{0, 1, false, 0xB0, 0x10}}});
  EXPECT_EQ(d88.size(), 0x2B0u + 1232 * 1040);
  EXPECT_EQ(std::vector<uint8_t>(d88.begin() + 0x1B, d88.begin() + 0x28),
            (std::vector<uint8_t>{0x20, 0xB0, 0x8F, 0x13, 0, 0xB0, 2, 0, 0, 0x30, 0x23, 0, 0}));
  EXPECT_EQ(std::vector<uint8_t>(d88.begin() + 0x6C0, d88.begin() + 0x6D1),
            (std::vector<uint8_t>{0, 0, 2, 3, 8, 0, 0, 0x10, 0xB0, 0, 0, 0, 0, 0, 0, 4, 0xEE}));
}

}  // namespace
}  // namespace imagebuilder
