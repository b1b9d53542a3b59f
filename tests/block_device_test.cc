// peekdisk, hauldisk and peekfs on loop devices (faulty_image_fs and losetup) whose chosen
// 512-byte sectors fail with EIO, as a failing disk on a USB adapter does. Buffered reads lose
// the whole read-ahead window around a bad sector. Every run starts on a cold page cache.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
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

// peekdisk's line for an undated entry: a file of `size` bytes, or a directory if negative.
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

// The byte offset in `image` of cluster `k` of `path` in its first partition, plus `plus`.
uint64_t ClusterOf(const Image& image, const std::string& path, size_t k, uint64_t plus = 0) {
  return image.ClusterOffset(0, image.partitions[0].nodes.at(path).clusters[k]) + plus;
}

// `bytes` with the `count` bytes from `at` zeroed.
std::string Zeroed(std::string bytes, size_t at, size_t count) {
  return bytes.replace(at, count, std::string(count, '\0'));
}

// The files of `nodes` and their contents, keyed by their paths below `prefix` ("SUB/A.TXT").
Tree Files(const std::vector<Node>& nodes, const std::string& prefix = "") {
  Tree tree;
  for (const Node& node : nodes) {
    if (!node.isDirectory) tree[prefix + node.name] = node.contents;
    tree.merge(Files(node.children, prefix + node.name + "/"));
  }
  return tree;
}

// hauldisk's texts for a file it could not read, one it filled with zeros, and its summary.
std::string Incomplete(const std::string& file) {
  return "Can't read the source file(\\" + file + "), the copy is incomplete.\n";
}
std::string Damaged(const std::string& file, int bytes) {
  return "Damaged source file(\\" + file + "), " + std::to_string(bytes) +
         " bytes unreadable, filled with zeros.\n";
}
std::string Summary(int copied, int damaged, int bytes) {
  return std::to_string(copied) + " files copied, " + std::to_string(damaged) + " damaged, " +
         std::to_string(bytes) + " bytes unreadable.\n";
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
  std::string Differences(const std::string& folder, Tree expected) {
    const fs::path top = root / "work" / folder;
    if (!fs::is_directory(top)) return folder + " missing\n";
    std::string differences;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      if (!entry.is_regular_file()) continue;
      const std::string path = fs::relative(entry.path(), top).string();
      const std::string copy = endtoend::ReadWhole(entry.path());
      const auto wanted = expected.find(path);
      if (wanted == expected.end()) {
        differences += path + " extra\n";
        continue;
      }
      const std::string& bytes = wanted->second;
      const size_t at =
          std::mismatch(copy.begin(), copy.end(), bytes.begin(), bytes.end()).first - copy.begin();
      if (copy != bytes) {
        differences += path + ": " + std::to_string(copy.size()) + " bytes, not " +
                       std::to_string(bytes.size()) + ", first difference at " +
                       std::to_string(at) + "\n";
      }
      expected.erase(wanted);
    }
    for (const auto& [path, bytes] : expected) differences += path + " missing\n";
    return differences;
  }

  // On a fresh device of `image` with `bad` failing, hauldisk [-r] `path` in the new folder
  // `to` (files up to 4 MiB) gives `status` and `error` and leaves exactly `files`.
  void Haul(const Image& image, const std::vector<uint64_t>& bad, const std::string& to,
            bool rescue, const std::string& path, int status, const std::string& error,
            const Tree& files) {
    SCOPED_TRACE(to + " " + path + (rescue ? " -r" : ""));
    devices.clear();
    const std::string device = Attach(image, bad);
    ASSERT_NE("", device);
    Expect(Cold("ulimit -f 4096 && mkdir " + to + " && cd " + to + " && hauldisk " +
                (rescue ? "-r " : "") + device + " " + path + " >/dev/null"),
           status, "", error);
    EXPECT_EQ("", Differences(to, files));
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

// 200 one-cluster files, a directory and a 24 KiB file; one bad sector, in a small file or in
// the big one's 21st cluster, costs only that file.
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
  const Tree whole = Files(partition.root);
  const std::string small = whole.at("F030.DAT"), big = whole.at("BIG.DAT");
  const std::string damaged = Summary(204, 1, 512);
  // The file with the bad sector, -r, the exit status, the error output, its copy.
  const std::tuple<std::string, bool, int, std::string, std::string> cases[] = {
      {"F030.DAT", false, 0, Incomplete("F030.DAT"), ""},
      {"F030.DAT", true, 2, Damaged("F030.DAT", 512) + damaged, Zeroed(small, 512, 512)},
      {"BIG.DAT", false, 0, Incomplete("BIG.DAT"), big.substr(0, 20480)},
      {"BIG.DAT", true, 2, Damaged("BIG.DAT", 512) + damaged, Zeroed(big, 20992, 512)},
  };
  for (const auto& [file, rescue, status, error, copy] : cases) {
    Tree expected = whole;
    expected[file] = copy;
    Haul(image, {ClusterOf(image, "\\" + file, file == "BIG.DAT" ? 20 : 0, 512)},
         file + (rescue ? "-r" : ""), rescue, "\\\\", status, error, expected);
  }
  // peekfs: F030.DAT fails with EIO and the rest read whole; under -r it has zeros for the
  // bad sector.
  const std::string device = Attach(image, {ClusterOf(image, "\\F030.DAT", 0, 512)});
  ASSERT_NE("", device);
  Expect(Cold("mkdir mnt && peekfs " + device + " mnt && cp -r mnt p"), 1, "",
         "cp: error reading 'mnt/F030.DAT': Input/output error\n");
  Tree expected = whole;
  expected["F030.DAT"] = "";
  EXPECT_EQ("", Differences("p", expected));
  Expect(Run("fusermount3 -u mnt"), 0, "", "");
  Expect(Cold("peekfs -r " + device + " mnt && cp -r mnt pr && fusermount3 -u mnt"), 0, "", "");
  expected["F030.DAT"] = Zeroed(small, 512, 512);
  EXPECT_EQ("", Differences("pr", expected));
}

// A bad sector in the first 4 KiB, a boot sector or a FAT copy that the reader does not need,
// or that another FAT copy gives, costs nothing.
TEST_F(BlockDeviceEndToEndTest, StartUpReadsGetPastBadSectorsTheyDoNotNeed) {
  const Image image = imagebuilder::BuildX68k(endtoend::MainLayout());
  const std::string report = std::string(endtoend::kReportHead) +
                             programtexts::ReportPartition(0, 32) +
                             programtexts::ReportPartition(1, image.partitions[1].start / 1024);
  // Between the label and the table, in the unused half of a boot sector, a first FAT sector.
  for (const uint64_t bad :
       {uint64_t{1024}, image.partitions[0].start + 512, image.partitions[0].fatOffset}) {
    for (const std::string rescue : {"", "-r "}) {
      SCOPED_TRACE(std::to_string(bad) + " " + rescue);
      devices.clear();
      const std::string device = Attach(image, {bad});
      ASSERT_NE("", device);
      Expect(Cold("peekdisk -i " + rescue + device + " \\\\"), 0,
             report + endtoend::RootListing() + "\n", "");
    }
  }
}

// Partition 0's boot sector is bad: the table still has both, and partition 1 reads as ever.
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

// A FAT of six 512-byte device sectors of 256 entries: FILL.DAT's fill the first; BIG.DAT (three
// clusters), A.TXT, SUB and SUB\C.TXT have theirs in the second; the fourth has only free ones.
TEST_F(BlockDeviceEndToEndTest, FatSectorsComeFromWhicheverCopyGivesThem) {
  PartitionLayout partition;
  partition.clusterCount = 1200;
  partition.root = {File("FILL.DAT", Pattern(254 * 1024, 1)), File("BIG.DAT", Pattern(3000, 2)),
                    File("A.TXT", "a"), Dir("SUB", {File("C.TXT", "c")})};
  const Image image = BuildOne(partition);
  const imagebuilder::PartitionPlacement& placed = image.partitions[0];
  ASSERT_EQ(3u * 1024, placed.fatBytes);
  ASSERT_EQ(256, placed.nodes.at("\\BIG.DAT").clusters[0]);
  const uint64_t fat1 = placed.fatOffset, fat2 = placed.fatOffset + placed.fatBytes;
  const Tree whole = Files(partition.root);
  Tree bigCut = whole;
  bigCut["BIG.DAT"] = Zeroed(whole.at("BIG.DAT"), 1024, 1976);
  // Each half of the first FAT sector bad in one copy; the fourth or the second bad in both.
  const std::vector<uint64_t> freeOnly = {fat1 + 1536, fat2 + 1536};
  const std::string unknown = "Can't read part of the FAT of partition 0, 256 clusters unknown.\n";
  const std::string all = Summary(4, 0, 0);
  // Bad byte offsets, -r, the exit status, the error output, the files copied.
  const std::tuple<std::vector<uint64_t>, bool, int, std::string, Tree> cases[] = {
      {{fat1, fat2 + 512}, false, 0, "", whole},
      {{fat1, fat2 + 512}, true, 0, all, whole},
      {freeOnly, true, 2, unknown + all, whole},
      {freeOnly, false, 0, "Can't read the FAT of partition 0\n", {}},
      // The chain of BIG.DAT ends at its first cluster, whose entry is unknown; the
      // one-cluster files and SUB need no entry.
      {{fat1 + 512, fat2 + 512},
       true,
       2,
       unknown + Damaged("BIG.DAT", 1976) + Summary(4, 1, 1976),
       bigCut},
  };
  int row = 0;
  for (const auto& [bad, rescue, status, error, files] : cases) {
    Haul(image, bad, "r" + std::to_string(row++), rescue, "\\\\", status, error, files);
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

// SUB's first device sector (entries 0 to 15: ".", ".." and S00 to S13 of its 40) is bad.
TEST_F(BlockDeviceEndToEndTest, DotIsTheDirectoryInHandWhateverItsEntriesSay) {
  std::vector<Node> sub;
  for (int i = 0; i < 40; ++i) sub.push_back(File(Numbered("S%02d.TXT", i), Numbered("s%d", i)));
  PartitionLayout partition;
  partition.root = {File("R1.TXT", "r1"), File("R2.TXT", "r2"), Dir("SUB", sub)};
  const Image image = BuildOne(partition);
  const std::string device = Attach(image, {ClusterOf(image, "\\SUB", 0)});
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

// 510 clusters of 4 KiB fill the FAT's one sector (data 2,088,960 bytes). F.DAT's chain is
// one cluster short; G.DAT's loops back to its first; TAIL.DAT has a bad sector past its end,
// SUB\LAST.DAT one in its second cluster; GARBAGE.DAT says 500,000,000 bytes and links out.
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
  const std::vector<uint64_t> bad = {ClusterOf(image, "\\TAIL.DAT", 1, 3584),
                                     ClusterOf(image, "\\SUB\\LAST.DAT", 1, 512)};
  const std::string last = whole.at("SUB/LAST.DAT"), lastRescued = Zeroed(last, 4608, 512);
  const std::string fCut = whole.at("F.DAT").substr(0, 4096);
  const std::string fRescued = fCut + std::string(5904, '\0');
  // The file (the one in SUB for "SUB"), -r, exit status, error output, the bytes of the copy.
  const std::tuple<std::string, bool, int, std::string, std::string> cases[] = {
      {"F.DAT", false, 0, Incomplete("F.DAT"), fCut},
      {"F.DAT", true, 2, Damaged("F.DAT", 5904) + Summary(1, 1, 5904), fRescued},
      {"G.DAT", false, 0, "", whole.at("G.DAT")},
      {"G.DAT", true, 0, Summary(1, 0, 0), whole.at("G.DAT")},
      {"TAIL.DAT", false, 0, "", whole.at("TAIL.DAT")},
      {"TAIL.DAT", true, 0, Summary(1, 0, 0), whole.at("TAIL.DAT")},
      {"SUB", false, 0, Incomplete("SUB\\LAST.DAT"), last.substr(0, 4096)},
      {"SUB", true, 2, Damaged("SUB\\LAST.DAT", 512) + Summary(1, 1, 512), lastRescued},
      {"GARBAGE.DAT", false, 0, Incomplete("GARBAGE.DAT"), std::string(4096, '\0')},
      {"GARBAGE.DAT", true, 2, Damaged("GARBAGE.DAT", 2084864) + Summary(1, 1, 2084864),
       std::string(2088960, '\0')},
  };
  int row = 0;
  for (const auto& [file, rescue, status, error, copy] : cases) {
    const bool sub = file == "SUB";  // Haul's file size limit keeps GARBAGE.DAT from 500 MB
    Haul(image, bad, "r" + std::to_string(row++), rescue, sub ? file : "\\\\" + file, status, error,
         {{sub ? "LAST.DAT" : file, copy}});
  }
  // peekfs shows the stored sizes; F.DAT fails where its chain ends, or under -r has zeros.
  devices.clear();
  const std::string device = Attach(image, bad);
  ASSERT_NE("", device);
  Expect(Cold("mkdir mnt p pr && peekfs " + device + " mnt && stat -c \"%n %s\" mnt/*.DAT"), 0,
         "mnt/F.DAT 10000\nmnt/G.DAT 10003\nmnt/GARBAGE.DAT 500000000\nmnt/TAIL.DAT 5000\n", "");
  Expect(Run("cat mnt/F.DAT >p/F.DAT; cp mnt/G.DAT mnt/TAIL.DAT p && stat -c %s mnt/F.DAT"), 0,
         "10000\n", "cat: mnt/F.DAT: Input/output error\n");
  EXPECT_EQ("", Differences("p", {{"F.DAT", fCut},
                                  {"G.DAT", whole.at("G.DAT")},
                                  {"TAIL.DAT", whole.at("TAIL.DAT")}}));
  Expect(Run("fusermount3 -u mnt"), 0, "", "");
  Expect(Cold("peekfs -r " + device + " mnt && cp mnt/F.DAT mnt/SUB/LAST.DAT pr"), 0, "", "");
  EXPECT_EQ("", Differences("pr", {{"F.DAT", fRescued}, {"LAST.DAT", lastRescued}}));
}

// BIG.DAT, with a bad sector, whose write fails (a 100 KiB size limit) counts as neither.
TEST_F(BlockDeviceEndToEndTest, OnlyFilesWrittenWholeCountAsCopied) {
  PartitionLayout partition;
  partition.root = {File("BIG.DAT", Pattern(300000, 5)), File("SMALL.TXT", "small")};
  const Image image = BuildOne(partition);
  const std::string device = Attach(image, {ClusterOf(image, "\\BIG.DAT", 0, 512)});
  ASSERT_NE("", device);
  Expect(Cold("mkdir c && cd c && ulimit -f 100 && hauldisk -r " + device + " \\\\ >/dev/null"), 2,
         "",
         "Can't write the target file(BIG.DAT)/DiskFull?\n" + Damaged("BIG.DAT", 512) +
             Summary(1, 0, 0));
  const std::string big = Zeroed(Pattern(300000, 5), 512, 512).substr(0, 102400);
  EXPECT_EQ("", Differences("c", {{"BIG.DAT", big}, {"SMALL.TXT", "small"}}));
}

}  // namespace
