#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/file_system_test_support.h"

namespace {

using fstest::Dir;
using fstest::File;
using fstest::Media;
using fstest::MountedImage;
using fstest::Partition;
using imagebuilder::MakeRawEntry;
using Names = std::vector<std::string>;

const Media kBothMedia[] = {Media::kX68k, Media::kPc};

std::string MediaName(Media media) { return media == Media::kX68k ? "X68000" : "PC"; }

// The names every variant composes the same way, and the two entries whose byte 12 holds
// a control character or a zero byte, which the variants treat differently.
imagebuilder::PartitionLayout NamingPartition() {
  imagebuilder::PartitionLayout layout = Partition({
      File("README.DOC", "r"),
      File("ABCDEFGHIJKLMNOPQR.TXT", "a"),  // 18 + 3: 22 characters
      File("PROGRAMSLIST.TXT", "p"),
      Dir("BIN", {}),
      File("\xE5X.TXT", "e"),  // stored with 0x05 in byte 0
      File("\x83\x5C"
           "DIR.A",
           "s"),
  });
  layout.rawEntries.push_back(MakeRawEntry("\\", "CTRL    EXT", 0x20, "\001AB"));
  layout.rawEntries.push_back(MakeRawEntry("\\", "ZERO    EXT", 0x20, std::string("\0XY", 3)));
  return layout;
}

TEST(DirectorySearchTest, ComposesNamesPerVariantAndOptions) {
  struct Case {
    Media media;
    int options;
    Names names;
  };
  const Case cases[] = {
      {Media::kX68k,
       7,
       {"README.DOC", "ABCDEFGHIJKLMNOPQR.TXT", "PROGRAMSLIST.TXT", "BIN", "\xE5X.TXT",
        "\x83\x5C"
        "DIR.A",
        "CTRL\x01"
        "AB.EXT",
        "ZERO.EXT"}},
      {Media::kPc,
       7,
       {"README.DOC", "ABCDEFGHIJKLMNOPQR.TXT", "PROGRAMSLIST.TXT", "BIN", "\xE5X.TXT",
        "\x83\x5C"
        "DIR.A",
        "CTRL.EXT", "ZERO.EXT"}},
      // Without the second name part only base and extension count.
      {Media::kX68k,
       5,
       {"README.DOC", "ABCDEFGH.TXT", "PROGRAMS.TXT", "BIN", "\xE5X.TXT",
        "\x83\x5C"
        "DIR.A",
        "CTRL.EXT", "ZERO.EXT"}},
  };
  for (const Case& c : cases) {
    MountedImage disk(NamingPartition(), c.media);
    disk.Mount();
    disk.volume->SetOptions(c.options);
    int code = 0;
    EXPECT_EQ(c.names, disk.List("\\", &code)) << MediaName(c.media) << " options " << c.options;
    EXPECT_EQ(VolumeErrorNoMoreEntries, code);
  }
}

TEST(DirectorySearchTest, DecodesEveryFieldOfAnEntry) {
  imagebuilder::Node file = File("DATA.BIN", fstest::Pattern(3000, 1), 0x21);
  file.time = imagebuilder::DosTime(12, 34, 56);
  file.date = imagebuilder::DosDate(1993, 3, 25);
  imagebuilder::PartitionLayout layout = Partition({file});
  // Attribute bytes with bit 7 set are sign-extended.
  layout.rawEntries.push_back(MakeRawEntry("\\", "LINK    SYS", 0xC0, 0, 0, 9, 77));
  MountedImage disk(layout);
  disk.Mount();

  SearchRecord search;
  FindResult entry;
  ASSERT_EQ(1, disk.volume->FindFirst(&search, "\\", &entry));
  EXPECT_EQ(FindResultTag, entry.tag);
  EXPECT_EQ('D', entry.firstByte);
  EXPECT_STREQ("DATA.BIN", entry.fileName);
  EXPECT_EQ(nullptr, entry.longName);
  EXPECT_EQ(0x21, entry.attributes);
  EXPECT_EQ(imagebuilder::DosTime(12, 34, 56), entry.modifyTime);
  EXPECT_EQ(imagebuilder::DosDate(1993, 3, 25), entry.modifyDate);
  EXPECT_EQ(3000u, entry.fileSize);
  EXPECT_EQ(disk.FirstCluster("\\DATA.BIN"), entry.firstCluster);
  EXPECT_EQ(entry.firstCluster, entry.pendingCluster);
  EXPECT_EQ(nullptr, entry.readPosition);

  ASSERT_EQ(1, disk.volume->FindNext(&search, &entry));
  EXPECT_STREQ("LINK.SYS", entry.fileName);
  EXPECT_EQ(-64, entry.attributes);  // 0xC0 sign-extended
  EXPECT_EQ(9, entry.firstCluster);
  EXPECT_EQ(77u, entry.fileSize);
  EXPECT_EQ(1, disk.volume->FindEnd(&search));
  EXPECT_EQ(nullptr, search.directory);
}

TEST(DirectorySearchTest, SkipsDeletedEntriesAndStopsAtTheFirstFreeOne) {
  for (Media media : kBothMedia) {
    imagebuilder::PartitionLayout layout = Partition({File("A.TXT", "a"), Dir("D", {})});
    for (const std::string dir : {"\\", "\\D"}) {
      layout.rawEntries.push_back(MakeRawEntry(dir, "\xE5\x45LETED TXT", 0x20, 0, 0));
      if (dir == "\\") layout.rawEntries.push_back(MakeRawEntry(dir, "B       TXT", 0x20, 0, 0));
      layout.rawEntries.push_back({dir, {}});  // the end
      layout.rawEntries.push_back(MakeRawEntry(dir, "GHOST   TXT", 0x20, 0, 0));
    }
    MountedImage disk(layout, media);
    disk.Mount();

    EXPECT_EQ((Names{"A.TXT", "D", "B.TXT"}), disk.List("\\")) << MediaName(media);
    EXPECT_EQ((Names{".", ".."}), disk.List("\\D")) << MediaName(media);
    const char* missing[] = {"\\GHOST.TXT",
                             "\\\xE5"
                             "ELETED.TXT",
                             "\\D\\GHOST.TXT",
                             "\\D\\\xE5"
                             "ELETED.TXT"};
    for (const char* path : missing) {
      SearchRecord search;
      FindResult entry;
      EXPECT_EQ(VolumeErrorNotFound, disk.volume->FindFirst(&search, path, &entry)) << path;
      EXPECT_EQ(nullptr, disk.volume->FileOpen(path, 1)) << path;
    }
  }
}

TEST(DirectorySearchTest, KeepsAnsweringNoMoreEntriesAtTheEnd) {
  MountedImage disk(Partition({File("A.TXT", "a")}));
  disk.Mount();
  SearchRecord search;
  FindResult entry;
  ASSERT_EQ(1, disk.volume->FindFirst(&search, "\\", &entry));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(VolumeErrorNoMoreEntries, disk.volume->FindNext(&search, &entry));
    EXPECT_EQ(0, entry.firstByte);
  }
  disk.volume->FindEnd(&search);
  // A search without a directory, and one that has ended, deliver nothing.
  EXPECT_EQ(VolumeErrorNoMoreEntries, disk.volume->FindNext(&search, &entry));
}

TEST(DirectorySearchTest, EmptyRootHoldsItsBufferUntilFindEnd) {
  MountedImage disk(Partition({}));
  disk.Mount();
  SearchRecord search;
  FindResult entry;
  EXPECT_EQ(VolumeErrorNoMoreEntries, disk.volume->FindFirst(&search, "\\", &entry));
  EXPECT_NE(nullptr, search.directory);
  EXPECT_EQ(1, disk.volume->FindEnd(&search));
  EXPECT_EQ(nullptr, search.directory);
}

// A root directory in which every entry is in use has no end entry of its own; its
// buffer continues with the data area, here a cluster full of entry-shaped bytes.
TEST(DirectorySearchTest, FullRootEndsAfterItsLastEntry) {
  const std::string ghost = "GHOST      \x10" + std::string(20, '\0');
  std::string ghosts;
  for (int i = 0; i < 16; ++i) ghosts += ghost;
  for (Media media : kBothMedia) {
    std::vector<imagebuilder::Node> files;
    Names names;
    for (int i = 0; i < 16; ++i) {
      const std::string name = "F" + std::to_string(i) + ".TXT";
      files.push_back(File(name, ghosts));
      names.push_back(name);
    }
    imagebuilder::PartitionLayout layout = Partition(files, 16);
    layout.sectorSize = 512;  // the root is one sector; the next one is cluster 2
    MountedImage disk(layout, media);
    ASSERT_EQ(ghost, std::string(reinterpret_cast<const char*>(disk.image.bytes.data()) +
                                     disk.image.ClusterOffset(0, 2),
                                 32));
    disk.Mount();

    int code = 0;
    EXPECT_EQ(names, disk.List("\\", &code)) << MediaName(media);
    EXPECT_EQ(VolumeErrorNoMoreEntries, code);
    SearchRecord search;
    FindResult entry;
    EXPECT_EQ(VolumeErrorNotFound, disk.volume->FindFirst(&search, "\\GHOST", &entry));
    EXPECT_EQ(VolumeErrorNotFound, disk.volume->ChangeDir("GHOST"));
    EXPECT_EQ(nullptr, disk.volume->FileOpen("\\GHOST", 1));
    // The last entry of the root is still found.
    EXPECT_EQ(VolumeErrorNotDirectory, disk.volume->FindFirst(&search, "\\F15.TXT", &entry));
  }
}

imagebuilder::PartitionLayout TreePartition() {
  return Partition({
      File("FILE.TXT", "f"), Dir("BIN", {File("TOOL.X", "t"), Dir("SUB", {File("DEEP.TXT", "d")})}),
      Dir("\x83\x5C"
          "DIR",
          {File("IN.TXT", "i")}),
      Dir("\x82\x60", {}),  // full-width A
  });
}

const Names kRootNames = {"FILE.TXT", "BIN",
                          "\x83\x5C"
                          "DIR",
                          "\x82\x60"};
const Names kBinNames = {".", "..", "TOOL.X", "SUB"};

struct PathCase {
  std::string path;
  int code;
  Names names;
};

void ExpectPaths(MountedImage* disk, const std::vector<PathCase>& cases) {
  for (const PathCase& c : cases) {
    int code = 0;
    const Names names = disk->List(c.path.c_str(), &code);
    EXPECT_EQ(c.code, code) << "path " << c.path.substr(0, 60);
    EXPECT_EQ(c.names, names) << "path " << c.path.substr(0, 60);
  }
}

std::string Repeat(const std::string& text, int count) {
  std::string result;
  for (int i = 0; i < count; ++i) result += text;
  return result;
}

TEST(DirectorySearchTest, WalksPathsToTheDirectoryTheyName) {
  MountedImage disk(TreePartition());
  disk.Mount();
  constexpr int kEnd = VolumeErrorNoMoreEntries;
  std::string everyByte = "\\";
  for (int b = 1; b < 256; ++b) everyByte += static_cast<char>(b);
  ExpectPaths(&disk, {
                         {"", kEnd, kRootNames},
                         {"\\", kEnd, kRootNames},
                         {"\\/\\//", kEnd, kRootNames},
                         {".", kEnd, kRootNames},
                         {"..", kEnd, kRootNames},
                         {"\\..\\.\\..", kEnd, kRootNames},
                         {"BIN", kEnd, kBinNames},
                         {"/BIN/", kEnd, kBinNames},
                         {"\\BIN\\.", kEnd, kBinNames},
                         {"\\BIN\\SUB\\..", kEnd, kBinNames},
                         {"\\BIN\\..", kEnd, kRootNames},
                         {"BIN//SUB", kEnd, {".", "..", "DEEP.TXT"}},
                         // One component: the second byte of 0x83 0x5C is no separator.
                         {"\\\x83\x5C"
                          "DIR",
                          kEnd,
                          {".", "..", "IN.TXT"}},
                         {"\\\x83\x5C"
                          "DIR\\..",
                          kEnd, kRootNames},
                         {"\\FILE.TXT", VolumeErrorNotDirectory, {}},
                         {"\\FILE.TXT\\BIN", VolumeErrorNotDirectory, {}},
                         {"\\BIN\\TOOL.X\\SUB", VolumeErrorNotDirectory, {}},
                         {"\\NOPE", VolumeErrorNotFound, {}},
                         {"\\BIN\\NOPE\\SUB", VolumeErrorNotFound, {}},
                         {"bin", VolumeErrorNotFound, {}},
                         {"\\\x82\x81", VolumeErrorNotFound, {}},  // full-width a
                         {"\\BIN\x83", VolumeErrorNotFound, {}},   // a lone lead byte at the end
                         {"\x83", VolumeErrorNotFound, {}},
                         {everyByte, VolumeErrorNotFound, {}},
                         {std::string(10000, 'A'), VolumeErrorNotFound, {}},
                         {"/" + Repeat("./", 3000), kEnd, kRootNames},
                         {"BIN" + Repeat("/SUB/..", 2000), kEnd, kBinNames},
                         {Repeat("/", 5000) + "BIN" + Repeat("\\", 5000), kEnd, kBinNames},
                     });
}

TEST(DirectorySearchTest, FoldsCaseOnlyWhenCaseSensitivityIsOff) {
  MountedImage disk(TreePartition());
  disk.Mount();
  disk.volume->SetOptions(7 & ~OptionCaseSensitive);
  ExpectPaths(&disk, {
                         {"bin", VolumeErrorNoMoreEntries, kBinNames},
                         {"\\bIn\\sub", VolumeErrorNoMoreEntries, {".", "..", "DEEP.TXT"}},
                         {"\\\x82\x81", VolumeErrorNoMoreEntries, {".", ".."}},
                         {"\\\x83\x5C"
                          "dir",
                          VolumeErrorNoMoreEntries,
                          {".", "..", "IN.TXT"}},
                         {"\\file.txt", VolumeErrorNotDirectory, {}},
                         {"\\bim", VolumeErrorNotFound, {}},
                     });
}

TEST(DirectorySearchTest, MatchesTheLongNameOnlyWithExtendedNames) {
  X68kScsiVolume volume;
  FindResult entry;
  std::strcpy(entry.fileName, "SHORT.TXT");
  entry.longName = "Long Name.txt";
  struct Case {
    int options;
    const char* name;
    int match;
  };
  const Case cases[] = {
      {7, "Long Name.txt", 0}, {7, "SHORT.TXT", 1}, {6, "long name.TXT", 0}, {5, "SHORT.TXT", 0},
      {5, "Long Name.txt", 1}, {4, "short.txt", 0}, {7, "Long Name.tx", 1},
  };
  for (const Case& c : cases) {
    volume.SetOptions(c.options);
    EXPECT_EQ(c.match, volume.MatchName(entry, c.name) != 0 ? 1 : 0) << c.options << " " << c.name;
  }
}

// The index finds what the scan finds: the first match in directory order under the options
// in force, never a deleted entry or one after the end (the ninth). Sizes count the entries.
TEST(DirectorySearchTest, IndexFindsWhatTheScanFinds) {
  imagebuilder::PartitionLayout layout = Partition({});
  const char* names[] = {"DUP     TXT",    "DUP     TXT",    "dup     txt",
                         "\xE5UP     TXT", "\x05UP     TXT", "PROGRAMSTXT",
                         "PROGRAMSTXT",    "\x82\x60",       "",
                         "GHOST   TXT"};
  for (uint32_t i = 0; i < 10; ++i)
    layout.rawEntries.push_back(MakeRawEntry("\\", names[i], 0x20, i == 5 ? "LIST" : "", 0, i + 1));
  layout.rawEntries[8].bytes = {};
  // The entry found under options 7, 6, 5 and 4.
  const std::pair<const char*, std::array<uint32_t, 4>> cases[] = {
      {"DUP.TXT", {1, 1, 1, 1}},      {"dup.txt", {3, 1, 3, 1}},
      {"\xE5UP.TXT", {5, 5, 5, 5}},   {"PROGRAMSLIST.TXT", {6, 6, 0, 0}},
      {"PROGRAMS.TXT", {7, 7, 6, 6}}, {"\x82\x81", {0, 8, 0, 8}},
      {"GHOST.TXT", {0, 0, 0, 0}}};
  MountedImage disk(layout);
  disk.Mount();
  const std::shared_ptr<const LoadedChain> scanned = disk.volume->LoadChain(0);  // not cached
  SearchRecord search;
  FindResult entry;
  ASSERT_EQ(1, disk.volume->FindFirst(&search, "\\", &entry));
  ASSERT_TRUE(search.directory->cached);  // looked up through its index
  for (int o = 0; o < 4; ++o) {
    disk.volume->SetOptions(7 - o);  // each change rebuilds the index
    for (const auto& [name, found] : cases) {
      for (const auto& contents : {scanned, search.directory}) {
        const bool hit = disk.volume->LookupName(*contents, &entry, name) == 1;
        EXPECT_EQ(found[o], hit ? entry.fileSize : 0) << 7 - o << " " << name << contents->cached;
      }
    }
  }
}

TEST(DirectorySearchTest, SearchKeepsItsOwnCopyWhileTheCurrentDirectoryMoves) {
  MountedImage disk(TreePartition());
  disk.Mount();
  SearchRecord outer;
  FindResult entry;
  ASSERT_EQ(1, disk.volume->FindFirst(&outer, "\\BIN", &entry));
  EXPECT_STREQ(".", entry.fileName);
  ASSERT_EQ(1, disk.volume->ChangeDir("\\BIN\\SUB"));
  EXPECT_EQ((Names{".", "..", "DEEP.TXT"}), disk.List("."));
  ASSERT_EQ(1, disk.volume->ChangeDir("\\"));
  Names rest;
  while (disk.volume->FindNext(&outer, &entry) == 1) rest.push_back(entry.fileName);
  EXPECT_EQ((Names{"..", "TOOL.X", "SUB"}), rest);
  disk.volume->FindEnd(&outer);
}

TEST(DirectorySearchTest, UnreadableDirectoryIsNotFound) {
  MountedImage disk(TreePartition());
  disk.Mount();
  disk.device->FailSectors(disk.ReadSector(disk.FirstCluster("\\BIN\\SUB")), 1);
  ExpectPaths(&disk, {
                         {"\\BIN\\SUB", VolumeErrorNotFound, {}},
                         {"\\BIN", VolumeErrorNoMoreEntries, kBinNames},
                     });
  // A directory that failed to load is read again.
  disk.device->ClearFailures();
  ExpectPaths(&disk, {{"\\BIN\\SUB", VolumeErrorNoMoreEntries, {".", "..", "DEEP.TXT"}}});
}

TEST(DirectorySearchTest, SelectingAPartitionForgetsTheDirectoriesOfTheLast) {
  // The same path, at the same cluster, with other names on each partition.
  imagebuilder::X68kImageLayout two;
  two.partitions = {Partition({Dir("D", {File("ZERO.TXT", "0")})}),
                    Partition({Dir("D", {File("ONE.TXT", "1")})})};
  MountedImage disk(two);
  disk.Mount();
  EXPECT_EQ((Names{".", "..", "ZERO.TXT"}), disk.List("\\D"));
  FakeSectorDevice head(disk.image.bytes, 512);
  PartitionInfo table[15];
  ASSERT_EQ(2, X68kScsiVolume(&head).ReadPartitionTable(table, 15));
  ASSERT_EQ(0, disk.volume->SelectPartition(table[1]));
  EXPECT_EQ((Names{".", "..", "ONE.TXT"}), disk.List("\\D"));
}

// A root of 64 entries (four device sectors) holding a directory D of two clusters (two
// device sectors each) of 40 files; one device sector (entries 16 to 31) fails for good.
TEST(DirectorySearchTest, UnreadableDirectorySectorsAreSaidAndRescueReadsAroundThem) {
  std::vector<imagebuilder::Node> files;
  Names names = {".", ".."};
  for (int i = 10; i < 50; ++i) {
    files.push_back(File("F" + std::to_string(i) + ".TXT", "x"));
    if (i < 24 || i > 39) names.push_back(files.back().name);
  }
  imagebuilder::PartitionLayout layout = Partition({Dir("D", files)});
  layout.clusterCount = 2000;  // a FAT of four sectors keeps the root past the boot record
  MountedImage disk(layout);
  const int64_t sectors[] = {static_cast<int64_t>(disk.image.partitions[0].rootOffset / 512),
                             disk.ReadSector(disk.FirstCluster("\\D"))};
  for (bool rescue : {false, true}) {
    const char* path = rescue ? "\\D" : "\\";
    disk.Mount({sectors[rescue] + 1}, rescue);
    int code = 0;
    EXPECT_EQ(rescue ? names : Names{}, disk.List(path, &code)) << path;
    EXPECT_EQ(rescue ? VolumeErrorNoMoreEntries : VolumeErrorNotFound, code);
    disk.List(path);  // a damaged directory is noted once, an unreadable one each time
    EXPECT_EQ(rescue ? "\\D lost 16\n" : "\\ whole\n\\ whole\n", disk.Damage()) << path;
  }
}

TEST(DirectorySearchTest, UnmountedVolumeFindsNothing) {
  X68kScsiVolume volume;
  SearchRecord search;
  FindResult entry;
  EXPECT_EQ(VolumeErrorNotFound, volume.FindFirst(&search, "\\", &entry));
  EXPECT_EQ(nullptr, search.directory);
  EXPECT_EQ(VolumeErrorNotFound, volume.ChangeDir("\\"));
  EXPECT_EQ(nullptr, volume.FileOpen("\\A", 1));
}

}  // namespace
