#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"
#include "tests/file_system_test_support.h"

namespace {

using fstest::Dir;
using fstest::File;
using fstest::Media;
using fstest::MountedImage;
using fstest::Partition;
using fstest::Pattern;

// Reads the whole file in pieces of `piece` bytes; the final result (0 at the end, or an
// error) goes to `last`.
std::string ReadAll(HumanVolume* volume, FileHandle* handle, uint32_t piece, int* last) {
  std::string data;
  std::vector<char> buffer(piece);
  for (;;) {
    const int count = volume->FileRead(handle, buffer.data(), piece);
    if (count <= 0) {
      *last = count;
      return data;
    }
    data.append(buffer.data(), static_cast<size_t>(count));
  }
}

std::string Read(HumanVolume* volume, FileHandle* handle, uint32_t length, int* result) {
  std::vector<char> buffer(length + 1, '\0');
  *result = volume->FileRead(handle, buffer.data(), length);
  return std::string(buffer.data(), *result > 0 ? static_cast<size_t>(*result) : 0);
}

std::string Seek(int64_t sector) { return "seek " + std::to_string(sector) + "\n"; }
std::string ReadOp(int64_t sector, int64_t count) {
  return "read " + std::to_string(sector) + "+" + std::to_string(count) + "\n";
}

TEST(FileReadingTest, DeliversFilesOfEverySizeWhole) {
  // Clusters are 1024 bytes.
  const size_t sizes[] = {0, 1, 1023, 1024, 1025, 2048, 5000};
  const uint32_t pieces[] = {1, 1000, 1024, 0x20000};
  for (Media media : {Media::kX68k, Media::kPc}) {
    std::vector<imagebuilder::Node> files;
    for (size_t size : sizes) {
      files.push_back(File("F" + std::to_string(size) + ".BIN", Pattern(size, size & 0xFF)));
    }
    MountedImage disk(Partition(files), media);
    disk.Mount();
    for (size_t size : sizes) {
      for (uint32_t piece : pieces) {
        const std::string path = "\\F" + std::to_string(size) + ".BIN";
        std::unique_ptr<FileHandle> handle = disk.volume->FileOpen(path.c_str(), 1);
        ASSERT_NE(nullptr, handle) << path;
        EXPECT_EQ(size, handle->fileSize);
        int last = 1;
        EXPECT_EQ(Pattern(size, size & 0xFF),
                  ReadAll(disk.volume.get(), handle.get(), piece, &last))
            << path << " in pieces of " << piece;
        EXPECT_EQ(0, last);
        char byte = 0;
        EXPECT_EQ(0, disk.volume->FileRead(handle.get(), &byte, 1));  // stays at the end
        EXPECT_EQ(1, disk.volume->FileClose(handle.get()));
      }
    }
  }
}

TEST(FileReadingTest, ReadSpanningClustersContinuesAtTheNextCall) {
  const std::string contents = Pattern(3000, 7);
  MountedImage disk(Partition({File("DATA.BIN", contents)}));
  disk.Mount();
  const std::vector<uint16_t> chain = disk.Node("\\DATA.BIN").clusters;
  ASSERT_EQ((std::vector<uint16_t>{chain[0], static_cast<uint16_t>(chain[0] + 1),
                                   static_cast<uint16_t>(chain[0] + 2)}),
            chain);
  std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("\\DATA.BIN", 1);
  ASSERT_NE(nullptr, handle);
  disk.device->ClearLog();  // the root directory was read

  int result = 0;
  EXPECT_EQ(contents.substr(0, 700), Read(disk.volume.get(), handle.get(), 700, &result));
  EXPECT_EQ(Seek(disk.SeekSector(chain[0])) + ReadOp(disk.ReadSector(chain[0]), 2),
            disk.device->LogText());

  // The next call positions the device again, then reads the neighbours without seeking.
  disk.device->ClearLog();
  EXPECT_EQ(contents.substr(700, 1500), Read(disk.volume.get(), handle.get(), 1500, &result));
  EXPECT_EQ(Seek(disk.SeekSector(chain[1])) + ReadOp(disk.ReadSector(chain[1]), 2) +
                ReadOp(disk.ReadSector(chain[2]), 2),
            disk.device->LogText());

  disk.device->ClearLog();
  EXPECT_EQ(contents.substr(2200), Read(disk.volume.get(), handle.get(), 2000, &result));
  EXPECT_EQ(800, result);
  EXPECT_EQ(0, disk.volume->FileRead(handle.get(), &result, 4));
  EXPECT_EQ("", disk.device->LogText());
  EXPECT_EQ(1, disk.volume->FileClose(handle.get()));
}

TEST(FileReadingTest, FragmentedChainSeeksAtEveryJump) {
  imagebuilder::Node file = File("FRAG.BIN", Pattern(3000, 3));
  file.fragmented = true;
  MountedImage disk(Partition({file}));
  disk.Mount();
  const std::vector<uint16_t> chain = disk.Node("\\FRAG.BIN").clusters;
  ASSERT_EQ(3u, chain.size());
  std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("FRAG.BIN", 1);
  ASSERT_NE(nullptr, handle);
  disk.device->ClearLog();
  int result = 0;
  EXPECT_EQ(Pattern(3000, 3), Read(disk.volume.get(), handle.get(), 0x20000, &result));
  std::string log;
  for (uint16_t cluster : chain)
    log += Seek(disk.SeekSector(cluster)) + ReadOp(disk.ReadSector(cluster), 2);
  EXPECT_EQ(log, disk.device->LogText());
}

TEST(FileReadingTest, ReadsRunsOfNeighbouringClustersWithOneRequest) {
  const std::string data = Pattern(0x100000 + 5000, 9);  // 1028 whole clusters, then 904 bytes
  MountedImage disk(Partition({File("DATA.BIN", data)}));
  disk.Mount();
  const uint16_t c = disk.FirstCluster("\\DATA.BIN");
  std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("DATA.BIN", 1);
  ASSERT_NE(nullptr, handle);
  disk.device->ClearLog();
  int result = 0;
  // The two whole clusters that fit go in one request, the third into the cluster buffer.
  EXPECT_EQ(data.substr(0, 2500), Read(disk.volume.get(), handle.get(), 2500, &result));
  // The rest of the third from there, whole clusters at most 1 MiB a request, the last alone.
  EXPECT_TRUE(data.substr(2500) == Read(disk.volume.get(), handle.get(), 0x200000, &result));
  EXPECT_EQ(Seek(disk.SeekSector(c)) + ReadOp(disk.ReadSector(c), 4) +
                ReadOp(disk.ReadSector(c + 2), 2) + Seek(disk.SeekSector(c + 3)) +
                ReadOp(disk.ReadSector(c + 3), 2048) + ReadOp(disk.ReadSector(c + 1027), 2) +
                ReadOp(disk.ReadSector(c + 1028), 2),
            disk.device->LogText());
}

TEST(FileReadingTest, TwoFilesReadInAlternation) {
  const std::string a = Pattern(2500, 1);
  const std::string b = Pattern(3500, 99);
  MountedImage disk(Partition({File("A.BIN", a), Dir("D", {File("B.BIN", b)})}));
  disk.Mount();
  std::unique_ptr<FileHandle> first = disk.volume->FileOpen("A.BIN", 1);
  std::unique_ptr<FileHandle> second = disk.volume->FileOpen("D/B.BIN", 1);
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  std::string gotA;
  std::string gotB;
  int result = 0;
  for (int i = 0; i < 8; ++i) {
    gotA += Read(disk.volume.get(), first.get(), 600, &result);
    gotB += Read(disk.volume.get(), second.get(), 600, &result);
  }
  EXPECT_EQ(a, gotA);
  EXPECT_EQ(b, gotB);
  EXPECT_EQ(1, disk.volume->FileClose(first.get()));
  EXPECT_EQ(1, disk.volume->FileClose(second.get()));
}

TEST(FileReadingTest, DeviceFailureMidFileIsRetriedAtTheSameCluster) {
  const std::string contents = Pattern(3000, 11);
  MountedImage disk(Partition({File("DATA.BIN", contents)}));
  disk.Mount();
  const std::vector<uint16_t> chain = disk.Node("\\DATA.BIN").clusters;
  std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("DATA.BIN", 1);
  ASSERT_NE(nullptr, handle);
  disk.device->ClearLog();

  disk.device->FailSectors(disk.ReadSector(chain[1]), 1);
  int result = 0;
  // What came before the bad cluster is delivered; the failure comes with the next call.
  EXPECT_EQ(contents.substr(0, 1024), Read(disk.volume.get(), handle.get(), 4096, &result));
  // The two whole clusters fail as one request, then are read a device sector at a time.
  std::string sectors;
  for (int64_t i = 0; i < 4; ++i)
    sectors += Seek(disk.SeekSector(chain[0]) + i) + ReadOp(disk.ReadSector(chain[0]) + i, 1);
  EXPECT_EQ(Seek(disk.SeekSector(chain[0])) + ReadOp(disk.ReadSector(chain[0]), 4) + sectors,
            disk.device->LogText());

  // Still failing: the same cluster is tried again, after positioning the device.
  disk.device->ClearLog();
  Read(disk.volume.get(), handle.get(), 4096, &result);
  EXPECT_EQ(VolumeErrorIo, result);
  sectors.clear();
  for (int64_t i = 0; i < 2; ++i)
    sectors += Seek(disk.SeekSector(chain[1]) + i) + ReadOp(disk.ReadSector(chain[1]) + i, 1);
  EXPECT_EQ(Seek(disk.SeekSector(chain[1])) + ReadOp(disk.ReadSector(chain[1]), 2) + sectors,
            disk.device->LogText());

  // The device recovers: reading goes on from that cluster.
  disk.device->ClearFailures();
  disk.device->ClearLog();
  EXPECT_EQ(contents.substr(1024), Read(disk.volume.get(), handle.get(), 4096, &result));
  EXPECT_EQ(Seek(disk.SeekSector(chain[1])) + ReadOp(disk.ReadSector(chain[1]), 2) +
                ReadOp(disk.ReadSector(chain[2]), 2),
            disk.device->LogText());
}

// A file of three clusters whose chain or entry is damaged.
struct DamageCase {
  const char* what;
  // Changes the image; gets the chain and a cluster that no file uses.
  void (*damage)(imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t spare,
                 uint64_t entry);
  std::string delivered;  // what reading in pieces of one cluster delivers
  int last;               // the result that ends the reading
  bool readsAfterEnd;     // whether the call that ends it touched the device
};

TEST(FileReadingTest, DamagedChainsEndTheFileWithoutReadingOutsideTheFat) {
  const std::string contents = Pattern(3000, 5);
  const std::string spareBytes = Pattern(1024, 200);
  const DamageCase cases[] = {
      {"intact", [](imagebuilder::Image*, const std::vector<uint16_t>&, uint16_t, uint64_t) {},
       contents, 0, false},
      // A chain that loops cannot say where the file ends: the size does.
      {"loop after the last cluster",
       [](imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t, uint64_t) {
         image->SetFatEntry(0, chain[2], chain[0]);
       },
       contents, 0, false},
      {"cluster linked to itself",
       [](imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t, uint64_t) {
         image->SetFatEntry(0, chain[0], chain[0]);
       },
       contents.substr(0, 1024), VolumeErrorIo, false},
      {"link into cluster 0",
       [](imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t, uint64_t) {
         image->SetFatEntry(0, chain[0], 0);
       },
       contents.substr(0, 1024), VolumeErrorIo, false},
      {"link into cluster 1",
       [](imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t, uint64_t) {
         image->SetFatEntry(0, chain[1], 1);
       },
       contents.substr(0, 2048), VolumeErrorIo, false},
      {"link past the FAT",
       [](imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t, uint64_t) {
         image->SetFatEntry(0, chain[0], 0xFFF0);
       },
       contents.substr(0, 1024), VolumeErrorIo, false},
      {"first cluster 1",
       [](imagebuilder::Image* image, const std::vector<uint16_t>&, uint16_t, uint64_t entry) {
         image->Poke(entry + 26, 1);
         image->Poke(entry + 27, 0);
       },
       "", VolumeErrorIo, false},
      {"first cluster past the FAT",
       [](imagebuilder::Image* image, const std::vector<uint16_t>&, uint16_t, uint64_t entry) {
         image->Poke(entry + 26, 0xF0);
         image->Poke(entry + 27, 0xFF);
       },
       "", VolumeErrorIo, false},
      {"first cluster 0 with a size",
       [](imagebuilder::Image* image, const std::vector<uint16_t>&, uint16_t, uint64_t entry) {
         image->Poke(entry + 26, 0);
         image->Poke(entry + 27, 0);
       },
       "", 0, false},
      // The chain decides how many clusters there are; the size only how much of the
      // last one counts (3000 = 2 x 1024 + 952). A chain that ends before the size keeps
      // its clusters whole, and the rest is lost.
      {"chain shorter than the size",
       [](imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t, uint64_t) {
         image->SetFatEntry(0, chain[1], 0xFFFF);
       },
       contents.substr(0, 2048), VolumeErrorIo, false},
      {"chain longer than the size",
       [](imagebuilder::Image* image, const std::vector<uint16_t>& chain, uint16_t spare,
          uint64_t) {
         image->SetFatEntry(0, chain[2], spare);
         image->SetFatEntry(0, spare, 0xFFF8);
         image->PokeBytes(image->ClusterOffset(0, spare), Pattern(1024, 200));
       },
       contents + std::string(1024 * 3 - 3000, '\0') + spareBytes.substr(0, 952), 0, false},
  };
  for (const DamageCase& c : cases) {
    MountedImage disk(Partition({File("DATA.BIN", contents)}));
    const imagebuilder::PartitionPlacement& layout = disk.image.partitions[0];
    const uint16_t spare = static_cast<uint16_t>(layout.clusterCount + 1);  // the last one
    c.damage(&disk.image, disk.Node("\\DATA.BIN").clusters, spare,
             disk.Node("\\DATA.BIN").entryOffset);
    disk.Mount();
    std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("DATA.BIN", 1);
    ASSERT_NE(nullptr, handle) << c.what;
    int last = 1;
    std::string delivered;
    std::string lastLog;
    for (;;) {
      disk.device->ClearLog();
      int result = 0;
      const std::string piece = Read(disk.volume.get(), handle.get(), 1024, &result);
      if (result <= 0) {
        last = result;
        lastLog = disk.device->LogText();
        break;
      }
      delivered += piece;
    }
    EXPECT_EQ(c.delivered, delivered) << c.what;
    EXPECT_EQ(c.last, last) << c.what;
    EXPECT_EQ("", lastLog) << c.what;
    // An error stays: the same cluster fails again.
    int again = 1;
    Read(disk.volume.get(), handle.get(), 1024, &again);
    EXPECT_EQ(c.last, again) << c.what;
  }
}

// Rescue reading of a file of 3000 bytes in three clusters of two device sectors each.
// `bad` fails sector `bad % 2` of cluster `bad / 2` for `tries` reads (-1: for good), the
// cluster's own and three rescue tries; `link` links cluster 1 to cluster 1 (break), to the
// first (loop) or to an end mark (end), or cluster 2 to the first (after the size).
TEST(FileReadingTest, RescueReadingFillsWhatCannotBeReadWithZerosAndCountsIt) {
  const std::string data = Pattern(3000, 21);
  const std::string holed = data.substr(0, 1024) + std::string(512, '\0') + data.substr(1536);
  const std::tuple<int, int, const char*, std::string, uint32_t> cases[] = {
      {2, -1, "", holed, 512},
      {2, 3, "", data, 0},                                              // reads on a later try
      {2, 5, "", holed, 512},                                           // fails every try
      {5, -1, "", data.substr(0, 2560) + std::string(440, '\0'), 440},  // across the size
      {-1, 0, "break", data.substr(0, 2048) + std::string(952, '\0'), 952},
      {-1, 0, "loop", data.substr(0, 2048) + std::string(952, '\0'), 952},
      {-1, 0, "end", data.substr(0, 2048) + std::string(952, '\0'), 952},
      {-1, 0, "after", data, 0},
  };
  for (const auto& [bad, tries, link, delivered, unreadable] : cases) {
    MountedImage disk(Partition({File("DATA.BIN", data)}));
    const std::vector<uint16_t> chain = disk.Node("\\DATA.BIN").clusters;
    const std::map<std::string, std::pair<uint16_t, uint16_t>> links = {
        {"break", {chain[1], 1}},
        {"loop", {chain[1], chain[0]}},
        {"end", {chain[1], 0xFFFF}},
        {"after", {chain[2], chain[0]}}};
    if (links.count(link) != 0)
      disk.image.SetFatEntry(0, links.at(link).first, links.at(link).second);
    disk.Mount({}, true);
    if (bad >= 0) disk.device->FailSectors(disk.ReadSector(chain[bad / 2]) + bad % 2, 1, tries);
    std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("DATA.BIN", 1);
    int last = 1;
    EXPECT_EQ(delivered, ReadAll(disk.volume.get(), handle.get(), 1000, &last)) << bad << link;
    EXPECT_EQ(0, last);
    EXPECT_EQ(unreadable, handle->unreadableBytes) << bad << " " << tries << link;
  }
}

// Reads anywhere in a file of 5000 bytes (four whole clusters and 904 bytes), healthy and
// with the second sector of its third cluster bad: a window that meets the bad cluster
// gives the bytes before it, and fails where it starts; rescue reading gives zeros there,
// counted once however often they are read.
TEST(FileReadingTest, ReadAtGivesTheFileAnywhere) {
  const std::string data = Pattern(5000, 31);
  const std::pair<uint64_t, uint32_t> windows[] = {
      {0, 0},      {0, 1},     {1023, 2}, {1024, 1024}, {100, 4900}, {2600, 100},
      {4095, 905}, {4999, 10}, {5000, 1}, {6000, 5},    {0, 9000},   {2600, 100}};
  for (bool bad : {false, true}) {
    for (bool rescue : {false, true}) {
      SCOPED_TRACE(std::string(bad ? "bad" : "healthy") + (rescue ? " rescue" : ""));
      MountedImage disk(Partition({File("DATA.BIN", data)}));
      disk.Mount({}, rescue);
      const std::vector<uint16_t> chain = disk.Node("\\DATA.BIN").clusters;
      if (bad) disk.device->FailSectors(disk.ReadSector(chain[2]) + 1, 1);
      std::string file = data;
      if (bad && rescue) std::fill(file.begin() + 2560, file.begin() + 3072, '\0');
      std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("DATA.BIN", 1);
      for (const auto& [offset, length] : windows) {
        std::string got(length, '\xAA');
        const int count = disk.volume->FileReadAt(handle.get(), offset, &got[0], length);
        std::string expected = file.substr(std::min<size_t>(offset, file.size()), length);
        int expectedCount = static_cast<int>(expected.size());
        if (bad && !rescue && offset < 3072 && offset + expected.size() > 2048) {
          expected.resize(offset < 2048 ? 2048 - offset : 0);
          expectedCount = offset < 2048 ? static_cast<int>(expected.size()) : VolumeErrorIo;
        }
        EXPECT_EQ(expectedCount, count) << offset;
        EXPECT_EQ(expected, got.substr(0, count > 0 ? count : 0)) << offset;
      }
      EXPECT_EQ(bad && rescue ? 512u : 0u, handle->unreadableBytes);
    }
  }
}

// A seek the device refuses fails the read that needed it, and nothing is read in its
// place; rescue reading loses the sector it could not reach.
TEST(FileReadingTest, RefusedSeekFailsTheRead) {
  const std::string data = Pattern(3000, 41);
  for (bool rescue : {false, true}) {
    MountedImage disk(Partition({File("DATA.BIN", data)}));
    disk.Mount({}, rescue);
    const std::vector<uint16_t> chain = disk.Node("\\DATA.BIN").clusters;
    disk.device->FailSeek(disk.SeekSector(chain[1]));
    std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("DATA.BIN", 1);
    std::string got(1024, '\xAA');
    disk.device->ClearLog();
    const int count = disk.volume->FileReadAt(handle.get(), 1024, &got[0], 1024);
    const std::string log = disk.device->LogText();
    // The cluster's request, then its sectors one at a time: the first cannot be reached.
    EXPECT_EQ(
        Seek(disk.SeekSector(chain[1])) + Seek(disk.SeekSector(chain[1])) +
            (rescue ? Seek(disk.SeekSector(chain[1])) + Seek(disk.SeekSector(chain[1])) : "") +
            Seek(disk.SeekSector(chain[1]) + 1) + ReadOp(disk.ReadSector(chain[1]) + 1, 1),
        log);
    if (!rescue) {
      EXPECT_EQ(VolumeErrorIo, count);
    } else {
      EXPECT_EQ(1024, count);
      EXPECT_EQ(std::string(512, '\0') + data.substr(1536, 512), got);
      EXPECT_EQ(512u, handle->unreadableBytes);
    }
  }
}

TEST(FileReadingTest, FileOpenFindsOnlyFiles) {
  MountedImage disk(Partition({File("FILE.TXT", "f"), Dir("A", {File("F.TXT", "a")})}));
  disk.Mount();
  struct Case {
    std::string path;
    const char* name;  // null when no handle is expected
  };
  std::string longest = "/";  // 263 bytes: the longest path FileOpen works on
  for (int i = 0; i < 127; ++i) longest += "./";
  longest += "FILE.TXT";
  ASSERT_EQ(263u, longest.size());
  const Case cases[] = {
      {"FILE.TXT", "FILE.TXT"},
      {"\\FILE.TXT", "FILE.TXT"},
      {"/A/F.TXT", "F.TXT"},
      {"A\\F.TXT", "F.TXT"},
      {"A/../FILE.TXT", "FILE.TXT"},
      {"\\\\A\\\\F.TXT", "F.TXT"},
      {longest, "FILE.TXT"},
      {"/" + longest, nullptr},  // 264 bytes
      {std::string(100000, '/') + "FILE.TXT", nullptr},
      {"", nullptr},
      {"\\", nullptr},
      {"///", nullptr},
      {".", nullptr},
      {"..", nullptr},
      {"A", nullptr},
      {"\\A\\", nullptr},
      {"A/.", nullptr},
      {"A/..", nullptr},
      {"FILE.TXT/", nullptr},
      {"FILE.TXT\\X", nullptr},
      {"FILE.TXT/..", nullptr},
      {"file.txt", nullptr},
      {"NOPE.TXT", nullptr},
      {"A/NOPE/F.TXT", nullptr},
      {"FILE.TXT\x83", nullptr},
  };
  for (const Case& c : cases) {
    std::unique_ptr<FileHandle> handle = disk.volume->FileOpen(c.path.c_str(), 1);
    if (c.name == nullptr) {
      EXPECT_EQ(nullptr, handle) << c.path.substr(0, 80);
      continue;
    }
    ASSERT_NE(nullptr, handle) << c.path.substr(0, 80);
    EXPECT_STREQ(c.name, handle->fileName);
    EXPECT_EQ(FindResultTag, handle->tag);
    EXPECT_EQ(handle->firstCluster, handle->pendingCluster);
    EXPECT_EQ(nullptr, handle->clusterBuffer);
    EXPECT_EQ(nullptr, handle->readPosition);
    EXPECT_EQ(0u, handle->bytesLeft);
  }
}

TEST(FileReadingTest, HandlesWithoutTheTagAreRefused) {
  MountedImage disk(Partition({File("FILE.TXT", "contents")}));
  disk.Mount();
  std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("FILE.TXT", 1);
  ASSERT_NE(nullptr, handle);
  char buffer[16] = {};
  // A read of 0 bytes still prepares the handle's buffer.
  EXPECT_EQ(0, disk.volume->FileRead(handle.get(), buffer, 0));
  EXPECT_NE(nullptr, handle->clusterBuffer);
  EXPECT_EQ(VolumeErrorIo, disk.volume->FileWrite(handle.get(), buffer, 4));
  EXPECT_EQ(4, disk.volume->FileRead(handle.get(), buffer, 4));
  EXPECT_EQ(1, disk.volume->FileClose(handle.get()));
  EXPECT_EQ(0u, handle->tag);
  EXPECT_EQ(nullptr, handle->clusterBuffer);
  EXPECT_EQ(nullptr, handle->readPosition);
  EXPECT_EQ(VolumeErrorBadHandle, disk.volume->FileRead(handle.get(), buffer, 4));
  EXPECT_EQ(VolumeErrorBadHandle, disk.volume->FileClose(handle.get()));
  EXPECT_EQ(VolumeErrorIo, disk.volume->FileWrite(handle.get(), buffer, 0));

  FindResult blank;
  EXPECT_EQ(VolumeErrorBadHandle, disk.volume->FileRead(&blank, buffer, 4));
  EXPECT_EQ(VolumeErrorBadHandle, disk.volume->FileClose(&blank));
  EXPECT_EQ(VolumeErrorIo, disk.volume->FileWrite(nullptr, nullptr, 0));
}

TEST(FileReadingTest, ReadOfMoreThanAnIntCanCountStopsAtTheFile) {
  MountedImage disk(Partition({File("ONE.TXT", "1")}));
  disk.Mount();
  std::unique_ptr<FileHandle> handle = disk.volume->FileOpen("ONE.TXT", 1);
  ASSERT_NE(nullptr, handle);
  char byte = 0;
  EXPECT_EQ(1, disk.volume->FileRead(handle.get(), &byte, 0xFFFFFFFFu));
  EXPECT_EQ('1', byte);
  EXPECT_EQ(0, disk.volume->FileRead(handle.get(), &byte, 0xFFFFFFFFu));
}

}  // namespace
