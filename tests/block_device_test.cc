// Runs peekdisk, hauldisk and peekfs on loop devices whose chosen 512-byte sectors fail
// with EIO: images served by faulty_image_fs and attached with losetup, read by the
// programs as /dev/loopN, as a failing disk on a USB adapter is read. Buffered reads of such
// a device fail the whole read-ahead window around a bad sector; what the programs keep,
// say and return is compared whole. Every program run starts on a cold page cache.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"
#include "tests/end_to_end_fixture.h"
#include "tests/end_to_end_image.h"
#include "tests/program_texts.h"
#include "tests/support_loop_device.h"
#include "tools/image_builder.h"

namespace {

namespace fs = std::filesystem;
using endtoend::Outcome;
using imagebuilder::Dir;
using imagebuilder::File;
using imagebuilder::Image;
using imagebuilder::Node;
using imagebuilder::PartitionLayout;
using Tree = std::map<std::string, std::string>;

// `size` bytes, `seed` and a colon first, so no two seeds give the same bytes.
std::string Pattern(size_t size, int seed) {
  std::string bytes = std::to_string(seed) + ":";
  for (size_t i = bytes.size(); i < size; ++i)
    bytes += static_cast<char>('A' + (i * 7 + i / 509) % 26);
  bytes.resize(size);
  return bytes;
}

// peekdisk's line for an entry without a valid date: a file of `size` bytes, or a
// directory for a negative size.
std::string Line(const std::string& name, int size = -1) {
  char line[80];
  std::snprintf(line, sizeof(line), "%23s %8s  ----/--/--(--) --:--:--\n", name.c_str(),
                size < 0 ? "<DIR>" : std::to_string(size).c_str());
  return line;
}

std::string Numbered(const char* format, int number) {
  char text[32];
  std::snprintf(text, sizeof(text), format, number);
  return text;
}

Image BuildOne(const PartitionLayout& partition) {
  imagebuilder::X68kImageLayout layout;
  layout.partitions = {partition};
  return imagebuilder::BuildX68k(layout);
}

// The files of `nodes` and their contents, keyed by their paths below `prefix` ("SUB/A.TXT").
Tree Files(const std::vector<Node>& nodes, const std::string& prefix = "") {
  Tree tree;
  for (const Node& node : nodes) {
    if (!node.isDirectory) tree[prefix + node.name] = node.contents;
    for (const auto& [path, bytes] : Files(node.children, prefix + node.name + "/")) {
      tree[path] = bytes;
    }
  }
  return tree;
}

class BlockDeviceEndToEndTest : public endtoend::EndToEndFixture {
 protected:
  void TearDown() override {
    // A peekfs mount holds its device: it goes first, then the devices, then the folder.
    { FuseUnmountGuard peekFs((root / "work/mnt").string()); }
    devices.clear();
    EndToEndFixture::TearDown();
  }

  // Writes `image`, serves it with the 512-byte sectors at the byte offsets `bad` failing
  // and attaches it: the loop device, or "" after a failure saying what is missing.
  std::string Attach(const Image& image, const std::vector<uint64_t>& bad) {
    const std::string unavailable = LoopDevicesUnavailable();
    if (!unavailable.empty()) {
      ADD_FAILURE() << "no loop device: " << unavailable;
      return "";
    }
    const std::string name = "disk" + std::to_string(attached++);
    WriteImage(image, name + ".hds");
    fs::create_directory(root / name);
    std::string ranges = bad.empty() ? "0+0" : "";
    for (uint64_t offset : bad) ranges += (ranges.empty() ? "" : ",") + std::to_string(offset);
    devices.push_back(std::make_unique<FailingBlockDevice>(
        PEEK_FAULTY_IMAGE_FS, (root / (name + ".hds")).string(), (root / name).string(), ranges));
    if (devices.back()->Path().empty()) ADD_FAILURE() << devices.back()->Error();
    return devices.back()->Path();
  }

  // Run, on every device as freshly attached.
  Outcome Cold(const std::string& command) {
    for (const auto& device : devices) EXPECT_TRUE(device->DropCache()) << device->Path();
    return Run(command);
  }

  // "" when the folder `folder` of the work folder holds exactly the files `expected`, else
  // a line for each file that is missing, extra or different.
  std::string Differences(const std::string& folder, const Tree& expected) {
    Tree found;
    const fs::path top = root / "work" / folder;
    if (!fs::is_directory(top)) return folder + " missing\n";
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      if (entry.is_regular_file()) {
        found[fs::relative(entry.path(), top).string()] = endtoend::ReadWhole(entry.path());
      }
    }
    std::string differences;
    for (const auto& [path, bytes] : expected) {
      const auto copy = found.find(path);
      if (copy == found.end()) {
        differences += path + " missing\n";
      } else if (copy->second != bytes) {
        size_t at = 0;
        while (at < bytes.size() && at < copy->second.size() && bytes[at] == copy->second[at]) ++at;
        differences += path + ": " + std::to_string(copy->second.size()) + " bytes, not " +
                       std::to_string(bytes.size()) + ", first difference at " +
                       std::to_string(at) + "\n";
      }
    }
    for (const auto& [path, bytes] : found) {
      if (expected.count(path) == 0) differences += path + " extra\n";
    }
    return differences;
  }

  std::vector<std::unique_ptr<FailingBlockDevice>> devices;
  int attached = 0;
};

// The premise of the other tests: past the page cache only the bad sector fails; a
// buffered read of the device loses the whole window read with it (128 KiB here).
TEST_F(BlockDeviceEndToEndTest, BadSectorFailsAloneOnlyPastThePageCache) {
  PartitionLayout partition;
  partition.root = {File("BIG.DAT", Pattern(600000, 0))};
  const uint64_t bad = 300032;
  const std::string device = Attach(BuildOne(partition), {bad});
  ASSERT_NE("", device);
  const std::string direct = "dd if=" + device + " of=/dev/null bs=512 count=1 iflag=direct skip=";
  Expect(Cold(direct + std::to_string(bad / 512 - 1) + " status=none"), 0, "", "");
  Expect(Cold(direct + std::to_string(bad / 512) + " status=none 2>/dev/null"), 1, "", "");
  Expect(Cold(direct + std::to_string(bad / 512 + 1) + " status=none"), 0, "", "");
  const Outcome buffered = Cold("dd if=" + device + " bs=512 status=none 2>/dev/null | wc -c");
  EXPECT_LT(std::stoull("0" + buffered.out), bad / 4096 * 4096 - 4096) << buffered.out;
}

// 200 files of one 1 KiB cluster each, a directory and a 24 KiB file among them; one bad
// sector, in a small file or in the big one's 21st cluster. Every other file is whole.
TEST_F(BlockDeviceEndToEndTest, OneBadSectorCostsOnlyTheFileThatHoldsIt) {
  PartitionLayout partition;
  for (int i = 0; i < 200; ++i) {
    partition.root.push_back(File(Numbered("F%03d.DAT", i), Pattern(1024, i)));
    if (i == 40) {
      partition.root.push_back(Dir(
          "SUB", {File("S1.TXT", "s1"), File("S2.TXT", "s2"), File("S3.DAT", Pattern(3000, 3))}));
      partition.root.push_back(File("BIG.DAT", Pattern(24576, 7)));
    }
  }
  const Image image = BuildOne(partition);
  const auto& nodes = image.partitions[0].nodes;
  const Tree whole = Files(partition.root);
  const std::string small = whole.at("F030.DAT");
  const std::string big = whole.at("BIG.DAT");
  // The bad sector, -r, the exit status, the error output, the copy of the file that holds it.
  const std::tuple<std::string, bool, int, std::string, std::string> cases[] = {
      {"F030.DAT", false, 0, "Can't read the source file(\\F030.DAT), the copy is incomplete.\n",
       ""},
      {"F030.DAT", true, 2,
       "Damaged source file(\\F030.DAT), 512 bytes unreadable, filled with zeros.\n"
       "204 files copied, 1 damaged, 512 bytes unreadable.\n",
       small.substr(0, 512) + std::string(512, '\0')},
      {"BIG.DAT", false, 0, "Can't read the source file(\\BIG.DAT), the copy is incomplete.\n",
       big.substr(0, 20480)},
      {"BIG.DAT", true, 2,
       "Damaged source file(\\BIG.DAT), 512 bytes unreadable, filled with zeros.\n"
       "204 files copied, 1 damaged, 512 bytes unreadable.\n",
       big.substr(0, 20992) + std::string(512, '\0') + big.substr(21504)},
  };
  for (const auto& [file, rescue, status, error, copy] : cases) {
    const std::string to = file + (rescue ? "-r" : "");
    SCOPED_TRACE(to);
    devices.clear();
    const uint64_t bad =
        image.ClusterOffset(0, nodes.at("\\" + file).clusters[file == "BIG.DAT" ? 20 : 0]) + 512;
    const std::string device = Attach(image, {bad});
    ASSERT_NE("", device);
    Expect(Cold("mkdir " + to + " && cd " + to + " && hauldisk " + (rescue ? "-r " : "") + device +
                " \\\\ >/dev/null"),
           status, "", error);
    Tree expected = whole;
    expected[file] = copy;
    EXPECT_EQ("", Differences(to, expected));
  }
  // peekfs on the device with the bad sector in F030.DAT: that file fails with EIO, the
  // rest read whole; under -r it reads with zeros for the bad sector.
  const std::string device =
      Attach(image, {image.ClusterOffset(0, nodes.at("\\F030.DAT").clusters[0]) + 512});
  ASSERT_NE("", device);
  Expect(Cold("mkdir mnt && peekfs " + device + " mnt && cp -r mnt p"), 1, "",
         "cp: error reading 'mnt/F030.DAT': Input/output error\n");
  Tree expected = whole;
  expected["F030.DAT"] = "";
  EXPECT_EQ("", Differences("p", expected));
  Expect(Run("fusermount3 -u mnt"), 0, "", "");
  Expect(Cold("peekfs -r " + device + " mnt && cp -r mnt pr && fusermount3 -u mnt"), 0, "", "");
  expected["F030.DAT"] = small.substr(0, 512) + std::string(512, '\0');
  EXPECT_EQ("", Differences("pr", expected));
}

// The label and table (the first 4 KiB), the boot sectors and the FAT copies are read
// exactly too: a bad sector there that the reader does not need, or that another FAT copy
// gives, costs nothing.
TEST_F(BlockDeviceEndToEndTest, StartUpReadsGetPastBadSectorsTheyDoNotNeed) {
  const Image image = imagebuilder::BuildX68k(endtoend::MainLayout());
  const imagebuilder::PartitionPlacement& first = image.partitions[0];
  const std::string report = std::string(endtoend::kReportHead) +
                             programtexts::ReportPartition(0, 32) +
                             programtexts::ReportPartition(1, image.partitions[1].start / 1024);
  const std::string listing = endtoend::RootListing() + "\n";
  // The bad byte offset: between the label and the table, in the unused half of the first
  // partition's boot sector, the first sector of its first FAT copy.
  for (const uint64_t bad : {uint64_t{1024}, first.start + 512, first.fatOffset}) {
    for (const std::string rescue : {"", "-r "}) {
      SCOPED_TRACE(std::to_string(bad) + " " + rescue);
      devices.clear();
      const std::string device = Attach(image, {bad});
      ASSERT_NE("", device);
      Expect(Cold("peekdisk -i " + rescue + device + " \\\\"), 0, report + listing, "");
    }
  }
}

// Partition 0's boot sector is bad: the table still has both partitions, and partition 1
// is read as ever.
TEST_F(BlockDeviceEndToEndTest, AnUnreadableBootSectorLeavesTheOtherPartitions) {
  const Image image = imagebuilder::BuildX68k(endtoend::MainLayout());
  const std::string device = Attach(image, {image.partitions[0].start});
  ASSERT_NE("", device);
  Expect(Cold("peekdisk -i -p1 " + device + " \\\\"), 0,
         std::string(endtoend::kReportHead) +
             "Partition Number= 0\n\tCan't read the boot sector\n\n" +
             programtexts::ReportPartition(1, image.partitions[1].start / 1024) +
             endtoend::kP1Line + "\n",
         "");
  Expect(Cold("peekdisk -p0 " + device + " \\\\"), 1, "",
         "Can't read the boot sector of partition 0\n");
  Expect(Cold("hauldisk -p1 " + device + " P1.TXT"), 0, "", "");
  EXPECT_EQ("one", Work("P1.TXT"));
}

// 1024-byte partition sectors on 512-byte device sectors, a FAT of three sectors (six
// device sectors of 256 entries each): FILL.DAT takes clusters 2 to 255, whose entries fill
// the first device sector; BIG.DAT (three clusters), A.TXT, SUB and SUB\C.TXT follow, with
// their entries in the second; the fourth describes only free clusters.
TEST_F(BlockDeviceEndToEndTest, FatSectorsComeFromWhicheverCopyGivesThem) {
  PartitionLayout partition;
  partition.clusterCount = 1200;
  partition.root = {File("FILL.DAT", Pattern(254 * 1024, 1)), File("BIG.DAT", Pattern(3000, 2)),
                    File("A.TXT", "a"), Dir("SUB", {File("C.TXT", "c")})};
  const Image image = BuildOne(partition);
  const imagebuilder::PartitionPlacement& placed = image.partitions[0];
  ASSERT_EQ(3u * 1024, placed.fatBytes);
  ASSERT_EQ(256, placed.nodes.at("\\BIG.DAT").clusters[0]);
  const uint64_t fat1 = placed.fatOffset;
  const uint64_t fat2 = placed.fatOffset + placed.fatBytes;
  const Tree whole = Files(partition.root);
  Tree bigCut = whole;
  bigCut["BIG.DAT"] = whole.at("BIG.DAT").substr(0, 1024) + std::string(1976, '\0');
  // Each half of the first FAT sector readable in one copy; the fourth device sector (free
  // clusters only) and the second (BIG.DAT's chain) unreadable in both.
  const std::vector<uint64_t> halves = {fat1, fat2 + 512};
  const std::vector<uint64_t> freeOnly = {fat1 + 1536, fat2 + 1536};
  const std::vector<uint64_t> chains = {fat1 + 512, fat2 + 512};
  const std::string unknown = "Can't read part of the FAT of partition 0, 256 clusters unknown.\n";
  const std::string all = "4 files copied, 0 damaged, 0 bytes unreadable.\n";
  // Bad byte offsets, -r, the exit status, the error output, the files copied.
  const std::tuple<std::vector<uint64_t>, bool, int, std::string, Tree> cases[] = {
      {halves, false, 0, "", whole},
      {halves, true, 0, all, whole},
      {freeOnly, true, 2, unknown + all, whole},
      {freeOnly, false, 0, "Can't read the FAT of partition 0\n", {}},
      // The chain of BIG.DAT ends at its first cluster, whose entry is unknown; the
      // one-cluster files and SUB need no entry.
      {chains, true, 2,
       unknown + "Damaged source file(\\BIG.DAT), 1976 bytes unreadable, filled with zeros.\n"
                 "4 files copied, 1 damaged, 1976 bytes unreadable.\n",
       bigCut},
  };
  int row = 0;
  for (const auto& [bad, rescue, status, error, files] : cases) {
    const std::string to = "r" + std::to_string(row++);
    SCOPED_TRACE(to + (rescue ? " -r" : ""));
    devices.clear();
    const std::string device = Attach(image, bad);
    ASSERT_NE("", device);
    Expect(Cold("mkdir " + to + " && cd " + to + " && hauldisk " + (rescue ? "-r " : "") + device +
                " \\\\ >/dev/null"),
           status, "", error);
    EXPECT_EQ("", Differences(to, files));
  }
  devices.clear();
  const std::string device = Attach(image, freeOnly);
  ASSERT_NE("", device);
  Expect(
      Cold("peekdisk -r " + device + " \\\\"), 2,
      Line("FILL.DAT", 254 * 1024) + Line("BIG.DAT", 3000) + Line("A.TXT", 1) + Line("SUB") + "\n",
      unknown);
  Expect(Cold("peekdisk " + device + " \\\\"), 0, "", "Can't read the FAT of partition 0\n");
}

// SUB holds 40 files after "." and ".."; its first device sector (entries 0 to 15) is bad,
// so "." and ".." and S00 to S13 are lost and S14 to S39 are read.
TEST_F(BlockDeviceEndToEndTest, DotIsTheDirectoryInHandWhateverItsEntriesSay) {
  std::vector<Node> sub;
  for (int i = 0; i < 40; ++i) sub.push_back(File(Numbered("S%02d.TXT", i), Numbered("s%d", i)));
  PartitionLayout partition;
  partition.root = {File("R1.TXT", "r1"), File("R2.TXT", "r2"), Dir("SUB", sub)};
  const Image image = BuildOne(partition);
  const std::string device =
      Attach(image, {image.ClusterOffset(0, image.partitions[0].nodes.at("\\SUB").clusters[0])});
  ASSERT_NE("", device);
  const std::string lost = "Can't read part of the directory(\\SUB), 16 entries lost.\n";
  std::string subLines;
  Tree copied = {{"R1.TXT", "r1"}, {"R2.TXT", "r2"}};
  for (int i = 14; i < 40; ++i) {
    subLines += Line(Numbered("S%02d.TXT", i), 3);
    copied["SUB/" + Numbered("S%02d.TXT", i)] = Numbered("s%d", i);
  }
  const std::string rootLines = Line("R1.TXT", 2) + Line("R2.TXT", 2) + Line("SUB");
  Expect(Cold("mkdir c && cd c && hauldisk -r " + device + " \\\\"), 2,
         "[\\]\n" + rootLines + "[\\SUB]\n" + subLines + "\n\n",
         lost + "28 files copied, 0 damaged, 0 bytes unreadable.\n");
  EXPECT_EQ("", Differences("c", copied));
  Expect(Cold("peekdisk -r " + device + " \\\\SUB\\\\."), 2, subLines + "\n", lost);
  // ".." whose entry is lost is the parent on the path walked.
  Expect(Cold("peekdisk -r " + device + " \\\\SUB\\\\.."), 2, rootLines + "\n", lost);

  // A hostile root holding a "." entry that points at SUB: the root is still the root.
  partition.root = {File("R1.TXT", "r1"), Dir("SUB", {File("S1.TXT", "s1")})};
  partition.rawEntries = {imagebuilder::MakeRawEntry("\\", ".", 0x10, 0, 0, 3)};
  const Image hostile = BuildOne(partition);
  ASSERT_EQ(3, hostile.partitions[0].nodes.at("\\SUB").clusters[0]);
  const std::string healthy = Attach(hostile, {});
  ASSERT_NE("", healthy);
  const std::string hostileRoot = Line("R1.TXT", 2) + Line("SUB");
  Expect(Cold("mkdir h && cd h && hauldisk " + healthy + " \\\\"), 0,
         "[\\]\n" + hostileRoot + "[\\SUB]\n" + Line(".") + Line("..") + Line("S1.TXT", 2) + "\n" +
             Line(".") + "\n",
         "");
  EXPECT_EQ("", Differences("h", {{"R1.TXT", "r1"}, {"SUB/S1.TXT", "s1"}}));
  Expect(Cold("peekdisk " + healthy + " \\\\."), 0, hostileRoot + Line(".") + "\n", "");
}

// 4 KiB clusters, 510 of them, so that the FAT's one sector is full: the data area is
// 510 x 4096 = 2,088,960 bytes. F.DAT (10000 bytes) has a chain of one cluster; G.DAT's
// chain loops from its last cluster back to its first; TAIL.DAT (5000 bytes) has a bad
// sector in the unused end of its last cluster; SUB\LAST.DAT one in its second cluster;
// GARBAGE.DAT says 500,000,000 bytes and its one cluster links out of the FAT.
TEST_F(BlockDeviceEndToEndTest, FilesAreReadForTheirStoredSize) {
  PartitionLayout partition;
  partition.sectorsPerCluster = 4;
  partition.clusterCount = 510;
  partition.rootEntries = 32;
  partition.root = {File("F.DAT", Pattern(10000, 1)), File("G.DAT", Pattern(10003, 2)),
                    File("TAIL.DAT", Pattern(5000, 3)),
                    Dir("SUB", {File("LAST.DAT", Pattern(6000, 4))})};
  partition.rawEntries = {
      imagebuilder::MakeRawEntry("\\", "GARBAGE DAT", 0x20, 0, 0, 511, 500000000)};
  Image image = BuildOne(partition);
  const imagebuilder::PartitionPlacement& placed = image.partitions[0];
  ASSERT_EQ(1024u, placed.fatBytes);
  const std::vector<uint16_t>& f = placed.nodes.at("\\F.DAT").clusters;
  const std::vector<uint16_t>& g = placed.nodes.at("\\G.DAT").clusters;
  image.SetFatEntry(0, f[0], 0xFFFF);
  image.SetFatEntry(0, g[2], g[0]);
  image.SetFatEntry(0, 511, 0x7000);
  const Tree whole = Files(partition.root);
  const std::vector<uint64_t> bad = {
      image.ClusterOffset(0, placed.nodes.at("\\TAIL.DAT").clusters[1]) + 3584,
      image.ClusterOffset(0, placed.nodes.at("\\SUB\\LAST.DAT").clusters[1]) + 512};
  const std::string last = whole.at("SUB/LAST.DAT");
  const std::string lastRescued = last.substr(0, 4608) + std::string(512, '\0') + last.substr(5120);
  const std::string summary = "1 files copied, 0 damaged, 0 bytes unreadable.\n";
  // The path, -r, exit status, error output, the name and bytes of the copy.
  const std::tuple<std::string, bool, int, std::string, std::string, std::string> cases[] = {
      {"\\\\F.DAT", false, 0, "Can't read the source file(\\F.DAT), the copy is incomplete.\n",
       "F.DAT", whole.at("F.DAT").substr(0, 4096)},
      {"\\\\F.DAT", true, 2,
       "Damaged source file(\\F.DAT), 5904 bytes unreadable, filled with zeros.\n"
       "1 files copied, 1 damaged, 5904 bytes unreadable.\n",
       "F.DAT", whole.at("F.DAT").substr(0, 4096) + std::string(5904, '\0')},
      {"\\\\G.DAT", false, 0, "", "G.DAT", whole.at("G.DAT")},
      {"\\\\G.DAT", true, 0, summary, "G.DAT", whole.at("G.DAT")},
      {"\\\\TAIL.DAT", false, 0, "", "TAIL.DAT", whole.at("TAIL.DAT")},
      {"\\\\TAIL.DAT", true, 0, summary, "TAIL.DAT", whole.at("TAIL.DAT")},
      {"SUB", false, 0, "Can't read the source file(\\SUB\\LAST.DAT), the copy is incomplete.\n",
       "LAST.DAT", last.substr(0, 4096)},
      {"SUB", true, 2,
       "Damaged source file(\\SUB\\LAST.DAT), 512 bytes unreadable, filled with zeros.\n"
       "1 files copied, 1 damaged, 512 bytes unreadable.\n",
       "LAST.DAT", lastRescued},
      {"\\\\GARBAGE.DAT", false, 0,
       "Can't read the source file(\\GARBAGE.DAT), the copy is incomplete.\n", "GARBAGE.DAT",
       std::string(4096, '\0')},
      {"\\\\GARBAGE.DAT", true, 2,
       "Damaged source file(\\GARBAGE.DAT), 2084864 bytes unreadable, filled with zeros.\n"
       "1 files copied, 1 damaged, 2084864 bytes unreadable.\n",
       "GARBAGE.DAT", std::string(2088960, '\0')},
  };
  int row = 0;
  for (const auto& [path, rescue, status, error, name, copy] : cases) {
    const std::string to = "r" + std::to_string(row++);
    SCOPED_TRACE(to + " " + path + (rescue ? " -r" : ""));
    devices.clear();
    const std::string device = Attach(image, bad);
    ASSERT_NE("", device);
    // The limit keeps a copy that fills the size with zeros from writing 500 MB.
    Expect(Cold("ulimit -f 4096 && mkdir " + to + " && cd " + to + " && hauldisk " +
                (rescue ? "-r " : "") + device + " " + path + " >/dev/null"),
           status, "", error);
    EXPECT_EQ("", Differences(to, {{name, copy}}));
  }

  // peekfs shows the stored sizes; without -r F.DAT fails where its chain ends, with -r it
  // reads with zeros for the rest.
  devices.clear();
  const std::string device = Attach(image, bad);
  ASSERT_NE("", device);
  Expect(Cold("mkdir mnt p pr && peekfs " + device + " mnt && stat -c \"%n %s\" mnt/*.DAT"), 0,
         "mnt/F.DAT 10000\nmnt/G.DAT 10003\nmnt/GARBAGE.DAT 500000000\nmnt/TAIL.DAT 5000\n", "");
  Expect(Run("cat mnt/F.DAT >p/F.DAT; cp mnt/G.DAT mnt/TAIL.DAT p && stat -c %s mnt/F.DAT"), 0,
         "10000\n", "cat: mnt/F.DAT: Input/output error\n");
  EXPECT_EQ("", Differences("p", {{"F.DAT", whole.at("F.DAT").substr(0, 4096)},
                                  {"G.DAT", whole.at("G.DAT")},
                                  {"TAIL.DAT", whole.at("TAIL.DAT")}}));
  Expect(Run("fusermount3 -u mnt"), 0, "", "");
  Expect(Cold("peekfs -r " + device + " mnt && cp mnt/F.DAT mnt/SUB/LAST.DAT pr"), 0, "", "");
  EXPECT_EQ(
      "", Differences("pr", {{"F.DAT", whole.at("F.DAT").substr(0, 4096) + std::string(5904, '\0')},
                             {"LAST.DAT", lastRescued}}));
}

// A write that fails (a 100 KiB file size limit) leaves BIG.DAT, with a bad sector in its
// first cluster, out of the count of copied and damaged files and their lost bytes.
TEST_F(BlockDeviceEndToEndTest, OnlyFilesWrittenWholeCountAsCopied) {
  PartitionLayout partition;
  partition.root = {File("BIG.DAT", Pattern(300000, 5)), File("SMALL.TXT", "small")};
  const Image image = BuildOne(partition);
  const std::string device = Attach(
      image, {image.ClusterOffset(0, image.partitions[0].nodes.at("\\BIG.DAT").clusters[0]) + 512});
  ASSERT_NE("", device);
  Expect(Cold("mkdir c && cd c && ulimit -f 100 && hauldisk -r " + device + " \\\\ >/dev/null"), 2,
         "",
         "Can't write the target file(BIG.DAT)/DiskFull?\n"
         "Damaged source file(\\BIG.DAT), 512 bytes unreadable, filled with zeros.\n"
         "1 files copied, 0 damaged, 0 bytes unreadable.\n");
  const std::string big = Pattern(300000, 5);
  EXPECT_EQ("", Differences("c", {{"BIG.DAT", big.substr(0, 512) + std::string(512, '\0') +
                                                  big.substr(1024, 102400 - 1024)},
                                  {"SMALL.TXT", "small"}}));
}

}  // namespace
