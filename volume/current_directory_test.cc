#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/file_system_test_support.h"

namespace {

using fstest::Dir;
using fstest::File;
using fstest::MountedImage;
using fstest::Partition;

TEST(CurrentDirectoryTest, JoinPathStepsOneComponent) {
  struct Case {
    std::string directory;
    std::string component;
    std::string joined;
  };
  const Case cases[] = {
      {"\\", "BIN", "\\BIN"},
      {"\\BIN", "X", "\\BIN\\X"},
      {"\\BIN\\X", "..", "\\BIN"},
      {"\\BIN", "..", "\\"},
      {"\\", "..", "\\"},
      {"\\", ".", "\\"},
      {"\\BIN\\X", ".", "\\BIN\\X"},
      // 0x83 0x5C is one character: ".." cuts at the real separator before it.
      {"\\A\\\x83\x5C"
       "B",
       "..", "\\A"},
      {"\\\x83\x5C", "..", "\\"},
      {"\\A\\B\x83", "..", "\\A"},  // a lone lead byte at the end
      {"NOSEPARATOR", "..", "\\"},
      {"", "X", "\\X"},
      {"\\A", "...", "\\A\\..."},
  };
  X68kScsiVolume volume;
  for (const Case& c : cases) {
    EXPECT_EQ(c.joined, volume.JoinPath(c.directory.c_str(), c.component.c_str()))
        << c.directory << " + " << c.component;
  }
}

TEST(CurrentDirectoryTest, GetCurrentDirIsABoundedCopy) {
  X68kScsiVolume volume;
  ASSERT_EQ(1, volume.SetOptions(7) == 7 ? 1 : 0);
  struct Case {
    int size;
    std::string expected;  // the whole buffer of size bytes, then the untouched guard
  };
  const Case cases[] = {
      {4, std::string("\\\0\0\0", 4) + "#"},
      {1, "\\#"},  // the text fills the buffer: no terminator
      {0, "#"},
      {-5, "#"},
  };
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(1, volume.GetCurrentDir(buffer, c.size));
    EXPECT_EQ(c.expected, std::string(buffer, c.expected.size())) << c.size;
  }
}

imagebuilder::PartitionLayout Tree() {
  return Partition({
      File("FILE.TXT", "f"),
      Dir("A", {Dir("B", {File("IN.TXT", "x")}), File("F.TXT", "y")}),
      Dir("BIN", {}),
      Dir("\x83\x5C"
          "X",
          {Dir("Y", {})}),
  });
}

TEST(CurrentDirectoryTest, ChangeDirFollowsPaths) {
  MountedImage disk(Tree());
  disk.Mount();
  const uint16_t a = disk.FirstCluster("\\A");
  const uint16_t b = disk.FirstCluster("\\A\\B");
  const uint16_t bin = disk.FirstCluster("\\BIN");
  const uint16_t sjis = disk.FirstCluster(
      "\\\x83\x5C"
      "X");
  struct Case {
    std::string start;  // made current first
    std::string path;
    int code;
    std::string text;
    uint16_t cluster;
  };
  const Case cases[] = {
      {"\\", "", 1, "\\", 0},
      {"\\A", "", 1, "\\A", a},
      {"\\A", "\\", 1, "\\", 0},
      {"\\A", "/", 1, "\\", 0},
      {"\\", "..", 1, "\\", 0},
      {"\\", ".", 1, "\\", 0},
      {"\\A\\B", "..", 1, "\\A", a},
      {"\\A\\B", ".", 1, "\\A\\B", b},
      {"\\A\\B", "../..", 1, "\\", 0},
      {"\\", "/A/../BIN", 1, "\\BIN", bin},
      {"\\", "A/B", 1, "\\A\\B", b},
      {"\\", "A//B", 1, "\\A\\B", b},
      {"\\", "A/B/", 1, "\\A\\B", b},
      {"\\", "A\\B", 1, "\\A\\B", b},
      {"\\A", "B", 1, "\\A\\B", b},
      {"\\A\\B", "\\BIN", 1, "\\BIN", bin},
      {"\\",
       "\x83\x5C"
       "X",
       1,
       "\\\x83\x5C"
       "X",
       sjis},
      {"\\\x83\x5C"
       "X\\Y",
       "..", 1,
       "\\\x83\x5C"
       "X",
       sjis},
      {"\\",
       "\x83\x5C"
       "X/Y/..",
       1,
       "\\\x83\x5C"
       "X",
       sjis},
      // Failures change nothing.
      {"\\A", "B/IN.TXT", VolumeErrorNotDirectory, "\\A", a},
      {"\\A", "\\FILE.TXT\\A", VolumeErrorNotDirectory, "\\A", a},
      {"\\A", "/A/B/IN.TXT", VolumeErrorNotDirectory, "\\A", a},
      {"\\A", "/A/NOPE/B", VolumeErrorNotFound, "\\A", a},
      {"\\A", "b", VolumeErrorNotFound, "\\A", a},
      {"\\", "bin", VolumeErrorNotFound, "\\", 0},
      {"\\", "\x83", VolumeErrorNotFound, "\\", 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(1, disk.volume->ChangeDir(c.start.c_str())) << c.start;
    EXPECT_EQ(c.code, disk.volume->ChangeDir(c.path.c_str())) << c.start << " then " << c.path;
    EXPECT_EQ(c.text, disk.CurrentDir()) << c.start << " then " << c.path;
    EXPECT_EQ(c.cluster, disk.CurrentCluster()) << c.start << " then " << c.path;
  }
}

TEST(CurrentDirectoryTest, RelativeSearchesAndOpensStartFromTheCurrentDirectory) {
  MountedImage disk(Tree());
  disk.Mount();
  ASSERT_EQ(1, disk.volume->ChangeDir("A"));
  EXPECT_EQ((std::vector<std::string>{".", "..", "B", "F.TXT"}), disk.List("."));
  EXPECT_EQ((std::vector<std::string>{".", "..", "IN.TXT"}), disk.List("B"));
  EXPECT_NE(nullptr, disk.volume->FileOpen("F.TXT", 1));
  EXPECT_NE(nullptr, disk.volume->FileOpen("B/IN.TXT", 1));
  EXPECT_EQ(nullptr, disk.volume->FileOpen("FILE.TXT", 1));
  EXPECT_NE(nullptr, disk.volume->FileOpen("\\FILE.TXT", 1));
}

TEST(CurrentDirectoryTest, UnreadableDirectoryLeavesTheCurrentOneAlone) {
  MountedImage disk(Tree());
  disk.Mount();
  ASSERT_EQ(1, disk.volume->ChangeDir("\\A"));
  disk.device->FailSectors(disk.ReadSector(disk.FirstCluster("\\A\\B")), 1);
  EXPECT_EQ(VolumeErrorNotFound, disk.volume->ChangeDir("B"));
  EXPECT_EQ("\\A", disk.CurrentDir());
  // Directories loaded once are not read again: the medium cannot change under a run.
  disk.device->FailSectors(disk.ReadSector(disk.FirstCluster("\\A")), 1);
  EXPECT_EQ(1, disk.volume->ChangeDir("."));
  EXPECT_EQ(1, disk.volume->ChangeDir("\\A\\..\\A"));
  EXPECT_EQ("\\A", disk.CurrentDir());
  EXPECT_EQ(disk.FirstCluster("\\A"), disk.CurrentCluster());
}

// "." is the directory in hand, whatever its entries say: a hostile root entry "." that
// points at SUB, or a SUB whose first sector (".", ".." and F00-F13) is lost to rescue
// reading. A lost ".." is the parent the walk came from.
TEST(CurrentDirectoryTest, DotIsTheDirectoryInHandAndALostDotDotThePathsParent) {
  std::vector<imagebuilder::Node> files;
  for (int i = 0; i < 20; ++i) files.push_back(File("F" + std::to_string(100 + i).substr(1), "f"));
  imagebuilder::PartitionLayout layout = Partition({Dir("SUB", files), File("R.TXT", "r")});
  const uint16_t sub = MountedImage(layout).FirstCluster("\\SUB");
  layout.rawEntries.push_back(imagebuilder::MakeRawEntry("\\", ".          ", 0x10, 0, 0, sub));
  MountedImage disk(layout);
  disk.Mount({disk.ReadSector(sub)}, true);
  const std::vector<std::string> root = {"SUB", "R.TXT", "."};
  const std::vector<std::string> rest = {"F14", "F15", "F16", "F17", "F18", "F19"};
  EXPECT_EQ(root, disk.List("\\."));
  EXPECT_EQ(root, disk.List("."));
  EXPECT_EQ(rest, disk.List("\\SUB\\."));
  EXPECT_EQ(root, disk.List("\\SUB\\.."));
  ASSERT_EQ(1, disk.volume->ChangeDir("\\SUB"));
  ASSERT_EQ(1, disk.volume->ChangeDir(".."));
  EXPECT_EQ("\\", disk.CurrentDir());
  EXPECT_EQ(0, disk.CurrentCluster());
}

TEST(CurrentDirectoryTest, LongPathsKeepTheTextInStep) {
  // A directory whose entry SELF leads back to itself, as a damaged disk may have.
  imagebuilder::PartitionLayout layout = Tree();
  MountedImage probe(layout);
  const uint16_t a = probe.FirstCluster("\\A");
  layout.rawEntries.push_back(imagebuilder::MakeRawEntry("\\A", "SELF       ", 0x10, 0, 0, a));
  MountedImage disk(layout);
  disk.Mount();

  std::string path = "\\A";
  std::string text = "\\A";
  for (int i = 0; i < 2000; ++i) {
    path += "\\SELF";
    text += "\\SELF";
  }
  ASSERT_EQ(1, disk.volume->ChangeDir(path.c_str()));
  EXPECT_EQ(a, disk.CurrentCluster());
  std::vector<char> buffer(text.size() + 1);
  disk.volume->GetCurrentDir(buffer.data(), static_cast<int>(buffer.size()));
  EXPECT_EQ(text, std::string(buffer.data()));

  // Going up follows the ".." entries: A's leads to the root, where ".." stays.
  std::string up;
  for (int i = 0; i < 2000; ++i) up += "../";
  ASSERT_EQ(1, disk.volume->ChangeDir(up.c_str()));
  EXPECT_EQ("\\", disk.CurrentDir());
  EXPECT_EQ(0, disk.CurrentCluster());
  ASSERT_EQ(1, disk.volume->ChangeDir(path.c_str()));

  // Thousands of components that stay in the root.
  std::string dots = "/";
  for (int i = 0; i < 3000; ++i) dots += i % 2 == 0 ? "./" : "..\\";
  ASSERT_EQ(1, disk.volume->ChangeDir(dots.c_str()));
  EXPECT_EQ("\\", disk.CurrentDir());
  EXPECT_EQ(0, disk.CurrentCluster());
}

}  // namespace
