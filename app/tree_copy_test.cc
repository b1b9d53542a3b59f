#include "app/tree_copy.h"

#include <cerrno>
#include <string>

#include "gtest/gtest.h"
#include "tests/app_test_support.h"
#include "tests/fake_target_file_system.h"

namespace {

using imagebuilder::Dir;
using imagebuilder::DosDate;
using imagebuilder::DosTime;
using imagebuilder::File;

const uint16_t kDate = DosDate(1998, 3, 14);
const uint16_t kTime = DosTime(12, 34, 56);
const char kJapaneseDir[] = "\x93\xFA\x96\x7B";  // two kanji
const char kTrailFile[] = "\x95\x5C.TXT";        // second byte 0x5C, not a separator

imagebuilder::X68kImageLayout SampleTree() {
  return OnePartition(
      {Stamped(File("CONFIG.SYS", "FILES = 30\r\n", 0x21), kDate, kTime),
       Stamped(
           Dir("SYS", {Stamped(File("COMMAND.X", std::string(1000, 'x'), 0x00), kDate, kTime),
                       Stamped(Dir("BIN", {Stamped(File("A.X", "a", 0x26), kDate, kTime)}, 0x17),
                               kDate, kTime)}),
           kDate, kTime),
       Stamped(Dir(kJapaneseDir, {Stamped(File(kTrailFile, "hyou"), kDate, kTime)}), kDate, kTime),
       File("EMPTY.TXT", "")},
      {MakeRawEntry("\\", "VOLUME1", 0x08, kTime, kDate),
       MakeRawEntry("\\", "LINK    LNK", 0x40, kTime, kDate)});
}

class TreeCopyTest : public testing::Test {
 protected:
  explicit TreeCopyTest(imagebuilder::X68kImageLayout layout = SampleTree()) : mounted(layout) {}
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(mounted.Mount()); }
  void Copy(const char* argument, bool restore = false) {
    CopyContext context(mounted.volume.get(), console.get(), &target, restore);
    CopyArgument(&context, argument);
  }
  std::string Contents(const std::string& path) { return target.Contents(path); }

  MountedImage mounted;
  CapturedConsole console;
  FakeTargetFileSystem target;
};

const char kRootListing[] =
    "[\\]\n"
    "             CONFIG.SYS       12  1998/03/14(\x93\x79) 12:34:56\n"
    "                    SYS    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "[\\SYS]\n"
    "                      .    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "                     ..    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "              COMMAND.X     1000  1998/03/14(\x93\x79) 12:34:56\n"
    "                    BIN    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "[\\SYS\\BIN]\n"
    "                      .    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "                     ..    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "                    A.X        1  1998/03/14(\x93\x79) 12:34:56\n"
    "\n"
    "\n"
    "                   \x93\xFA\x96\x7B    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "[\\\x93\xFA\x96\x7B]\n"
    "                      .    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "                     ..    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "                 \x95\x5C.TXT        4  1998/03/14(\x93\x79) 12:34:56\n"
    "\n"
    "              EMPTY.TXT        0  ----/--/--(--) --:--:--\n"
    "                VOLUME1    <VOL>  1998/03/14(\x93\x79) 12:34:56\n"
    "               LINK.LNK    <LNK>  1998/03/14(\x93\x79) 12:34:56\n"
    "\n";

TEST_F(TreeCopyTest, CopiesTheWholePartitionWithItsListing) {
  Copy("\\");
  EXPECT_EQ(kRootListing, console.Out());
  EXPECT_EQ("", console.Error());
  EXPECT_EQ(
      "create ./CONFIG.SYS\nwrite ./CONFIG.SYS 12\nclose ./CONFIG.SYS\n"
      "mkdir ./SYS\n"
      "create ./SYS/COMMAND.X\nwrite ./SYS/COMMAND.X 1000\nclose ./SYS/COMMAND.X\n"
      "mkdir ./SYS/BIN\n"
      "create ./SYS/BIN/A.X\nwrite ./SYS/BIN/A.X 1\nclose ./SYS/BIN/A.X\n"
      "mkdir ./\x93\xFA\x96\x7B\n"
      "create ./\x93\xFA\x96\x7B/\x95\x5C.TXT\nwrite ./\x93\xFA\x96\x7B/\x95\x5C.TXT 4\n"
      "close ./\x93\xFA\x96\x7B/\x95\x5C.TXT\n"
      "create ./EMPTY.TXT\nclose ./EMPTY.TXT\n",
      target.LogText());
  EXPECT_EQ(std::string(1000, 'x'), Contents("./SYS/COMMAND.X"));
  EXPECT_EQ("", Contents("./EMPTY.TXT"));
  // The volume's current directory is where it was.
  char current[16] = {};
  mounted.volume->GetCurrentDir(current, 15);
  EXPECT_STREQ("\\", current);
}

TEST_F(TreeCopyTest, RestoresAttributesAndTimesUnderA) {
  Copy("\\SYS", true);
  EXPECT_EQ("", console.Error());
  EXPECT_EQ(
      "create ./COMMAND.X\nwrite ./COMMAND.X 1000\nclose ./COMMAND.X\n"
      "filetimes ./COMMAND.X 0x246E 0x645C\nattributes ./COMMAND.X 0x20\n"
      "mkdir ./BIN\n"
      "create ./BIN/A.X\nwrite ./BIN/A.X 1\nclose ./BIN/A.X\n"
      "filetimes ./BIN/A.X 0x246E 0x645C\nattributes ./BIN/A.X 0x26\n"
      // The directory comes after its content, with the read-only, hidden and system bits.
      "dirtimes ./BIN 0x246E 0x645C\nattributes ./BIN 0x7\n",
      target.LogText());
}

TEST_F(TreeCopyTest, InvalidStampLeavesTimesButRestoresAttributes) {
  Copy("EMPTY.TXT", true);
  EXPECT_EQ("create ./EMPTY.TXT\nclose ./EMPTY.TXT\nattributes ./EMPTY.TXT 0x20\n",
            target.LogText());
}

struct ArgumentCase {
  const char* argument;
  const char* log;
  const char* error;
};

TEST_F(TreeCopyTest, FileArgumentsLandInTheTargetDirectory) {
  const ArgumentCase cases[] = {
      {"\\SYS\\COMMAND.X", "create ./COMMAND.X\nwrite ./COMMAND.X 1000\nclose ./COMMAND.X\n", ""},
      {"CONFIG.SYS", "create ./CONFIG.SYS\nwrite ./CONFIG.SYS 12\nclose ./CONFIG.SYS\n", ""},
      {"/SYS/BIN/A.X", "create ./A.X\nwrite ./A.X 1\nclose ./A.X\n", ""},
      // The walk knows no drive letters: the prefix makes the path one that does not exist.
      {"A:\\CONFIG.SYS", "", "Not exist file or directory(A:\\CONFIG.SYS)\n"},
      {"\\\x93\xFA\x96\x7B\\\x95\x5C.TXT",
       "create ./\x95\x5C.TXT\nwrite ./\x95\x5C.TXT 4\nclose ./\x95\x5C.TXT\n", ""},
      {"\\CONFIG.SYS\\B", "", "Can't open the source file(\\CONFIG.SYS\\\\B), skip.\n"},
      {"\\NOPE", "", "Not exist file or directory(\\NOPE)\n"},
      {"\\SYS\\NOPE\\X", "", "Not exist file or directory(\\SYS\\NOPE\\X)\n"},
  };
  for (const ArgumentCase& c : cases) {
    SCOPED_TRACE(c.argument);
    CapturedConsole captured;
    FakeTargetFileSystem fresh;
    CopyContext context(mounted.volume.get(), captured.get(), &fresh, false);
    CopyArgument(&context, c.argument);
    EXPECT_EQ(c.log, fresh.LogText());
    EXPECT_EQ(c.error, captured.Error());
    EXPECT_EQ("", captured.Out());
  }
}

TEST_F(TreeCopyTest, RefusedCreateIsReportedWithTheSystemError) {
  target.FailCreate("./CONFIG.SYS", EACCES);
  Copy("\\CONFIG.SYS", true);
  EXPECT_EQ("Can't open the target file(./CONFIG.SYS/Code=13)\n", console.Error());
  EXPECT_EQ("create ./CONFIG.SYS failed\n", target.LogText());
}

class LargeFileCopyTest : public TreeCopyTest {
 protected:
  LargeFileCopyTest()
      : TreeCopyTest(OnePartition({Stamped(File("BIG.DAT", Pattern(2500000), 0x01), kDate, kTime),
                                   Stamped(File("NEXT.DAT", "next"), kDate, kTime)})) {}
  static std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
  }
};

TEST_F(LargeFileCopyTest, MovesFilesInChunksOfOneMebibyte) {
  Copy("\\");
  EXPECT_EQ(Pattern(2500000), Contents("./BIG.DAT"));
  EXPECT_EQ(
      "create ./BIG.DAT\nwrite ./BIG.DAT 1048576\nwrite ./BIG.DAT 1048576\n"
      "write ./BIG.DAT 402848\n"
      "close ./BIG.DAT\ncreate ./NEXT.DAT\nwrite ./NEXT.DAT 4\nclose ./NEXT.DAT\n",
      target.LogText());
}

TEST_F(LargeFileCopyTest, FailedWriteKeepsWhatWasWrittenRestoresAndGoesOn) {
  target.FailWritesAfter(2000000, ENOSPC);
  Copy("\\", true);
  EXPECT_EQ(
      "Can't write the target file(BIG.DAT)/DiskFull?\n"
      "Can't write the target file(NEXT.DAT)/DiskFull?\n",
      console.Error());
  EXPECT_EQ(Pattern(2000000), Contents("./BIG.DAT"));
  EXPECT_EQ(
      "create ./BIG.DAT\nwrite ./BIG.DAT 1048576\nwrite ./BIG.DAT 1048576 failed\nclose ./BIG.DAT\n"
      "filetimes ./BIG.DAT 0x246E 0x645C\nattributes ./BIG.DAT 0x21\n"
      "create ./NEXT.DAT\nwrite ./NEXT.DAT 4 failed\nclose ./NEXT.DAT\n"
      "filetimes ./NEXT.DAT 0x246E 0x645C\nattributes ./NEXT.DAT 0x20\n",
      target.LogText());
}

TEST_F(LargeFileCopyTest, FailedCloseIsAFailedWrite) {
  target.FailClose("./NEXT.DAT", EIO);
  Copy("NEXT.DAT");
  EXPECT_EQ("Can't write the target file(NEXT.DAT)/DiskFull?\n", console.Error());
}

TEST_F(LargeFileCopyTest, ReadErrorEndsTheFileAndSaysTheCopyIsIncomplete) {
  // Fail every sector of the file's second cluster onwards: the first cluster is kept.
  const auto& placement = mounted.image.partitions[0].nodes.at("\\BIG.DAT");
  const uint64_t offset = mounted.image.ClusterOffset(0, placement.clusters[1]);
  mounted.device->FailSectors(static_cast<int64_t>(offset / 512), 1 << 20);
  Copy("BIG.DAT");
  EXPECT_EQ("Can't read the source file(\\BIG.DAT), the copy is incomplete.\n", console.Error());
  EXPECT_EQ("create ./BIG.DAT\nwrite ./BIG.DAT 1024\nclose ./BIG.DAT\n", target.LogText());
  EXPECT_EQ(Pattern(1024), Contents("./BIG.DAT"));
}

class HostileTreeTest : public TreeCopyTest {
 protected:
  HostileTreeTest()
      : TreeCopyTest(OnePartition({Stamped(Dir("D", {File("IN.TXT", "in")}), kDate, kTime)},
                                  {MakeRawEntry("\\", "..", 0x20, kTime, kDate, 0, 0),
                                   MakeRawEntry("\\", "A/B", 0x20, kTime, kDate, 0, 0),
                                   MakeRawEntry("\\", "../X", 0x10, kTime, kDate, 0, 0),
                                   MakeRawEntry("\\", "LOOP", 0x10, kTime, kDate, 0, 0),
                                   MakeRawEntry("\\D", "BACK", 0x10, kTime, kDate, 0, 0)})) {}
};

TEST_F(HostileTreeTest, NamesThatLeaveTheTargetAndDirectoryLoopsAreSkipped) {
  Copy("\\");
  EXPECT_EQ(
      "Directory copied before(BACK), skip.\n"
      "Unsafe file name(..), skip.\n"
      "Unsafe file name(A/B), skip.\n"
      "Unsafe file name(../X), skip.\n"
      "Directory copied before(LOOP), skip.\n",
      console.Error());
  EXPECT_EQ("mkdir ./D\ncreate ./D/IN.TXT\nwrite ./D/IN.TXT 2\nclose ./D/IN.TXT\n",
            target.LogText());
}

class DeepTreeTest : public TreeCopyTest {
 protected:
  static imagebuilder::Node Nest(int depth) {
    if (depth == 0) return File("LEAF.TXT", "leaf");
    return Dir("DDDDDDDDDDDDDDDDDD", {Nest(depth - 1)});
  }
  DeepTreeTest() : TreeCopyTest(OnePartition({Nest(14)})) {}
};

TEST_F(DeepTreeTest, TargetPathsPast255BytesAreRefused) {
  Copy("\\");
  std::string path = ".";
  for (int level = 0; level < 14; ++level) path += "/DDDDDDDDDDDDDDDDDD";
  // 13 levels make 248 bytes; the 14th would make 267.
  EXPECT_EQ("Path too long(" + path + "), skip.\n", console.Error());
  EXPECT_EQ(13u, target.Nodes().size());
}

}  // namespace
