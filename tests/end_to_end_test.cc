// Runs the built peekdisk and hauldisk as processes on images from the builder and
// compares their whole standard output, standard error and exit status with the exact
// texts the programs print.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "gtest/gtest.h"
#include "tests/end_to_end_fixture.h"
#include "tests/end_to_end_image.h"
#include "tests/program_texts.h"
#include "tools/image_builder.h"

namespace {

namespace fs = std::filesystem;
using endtoend::kMonday;
using endtoend::kNine;
using endtoend::kSysListing;
using endtoend::Outcome;
using imagebuilder::Dir;
using imagebuilder::DosTime;
using imagebuilder::File;
using imagebuilder::Stamped;
using programtexts::HaulUsage;
using programtexts::PeekUsage;

// The main image with three more entries in the first partition's root: a directory that
// is also a volume label, a volume label that is also a link, and a time whose seconds
// field is 30; and their lines in peekdisk's listing of the root.
imagebuilder::X68kImageLayout MainLayout() {
  return endtoend::MainLayout({
      imagebuilder::MakeRawEntry("\\", "DIRVOL", 0x18, 0, kMonday),
      imagebuilder::MakeRawEntry("\\", "VOLLNK", 0x48, 0, kMonday),
      imagebuilder::MakeRawEntry("\\", "BADTIME TXT", 0x20, DosTime(0, 0, 60), kMonday),
  });
}
const char kOddEntryLines[] =
    "                 DIRVOL    <DIR>  2001/01/01(\x8C\x8E) 00:00:00\n"
    "                 VOLLNK    <VOL>  2001/01/01(\x8C\x8E) 00:00:00\n"
    "            BADTIME.TXT        0  ----/--/--(--) --:--:--\n";

// The main image with its three more entries is main.hds in every test.
class EndToEndTest : public endtoend::EndToEndFixture {
 protected:
  void SetUp() override {
    EndToEndFixture::SetUp();
    WriteImage(imagebuilder::BuildX68k(MainLayout()), "main.hds");
  }
};

TEST_F(EndToEndTest, UsageTextsAndStartUpFailures) {
  const std::string cannotOpen = programtexts::kCannotOpen;
  std::ofstream((root / "zeros.img").string(), std::ios::binary) << std::string(65536, '\0');
  Expect(Run("peekdisk"), 1, "", PeekUsage());
  Expect(Run("hauldisk"), 1, "", HaulUsage());
  Expect(Run("hauldisk -i \"$IMG\""), 1, "", HaulUsage());
  Expect(Run("peekdisk -a \"$IMG\""), 1, "", "No such option(-a)\n" + PeekUsage());
  Expect(Run("peekdisk /nonexistent/disk.hds \\\\"), 1, "", cannotOpen);
  Expect(Run("hauldisk ../zeros.img \\\\"), 1, "", "Not Supported Media\n");
  Expect(Run("peekdisk -p2 \"$IMG\" \\\\"), 1, "", "No Such Partition(2)\n");
  Expect(Run("peekdisk -p-1 \"$IMG\" \\\\"), 1, "", "No Such Partition(-1)\n");
}

TEST_F(EndToEndTest, PartitionReportAndOptionScanning) {
  const std::string report = endtoend::kReportHead + programtexts::ReportPartition(0, 32);
  // -I -P1 act as -i -p1; the report comes before the partition is chosen.
  const Outcome upper = Run("peekdisk -I -P1 \"$IMG\" \\\\");
  EXPECT_EQ(0, upper.status);
  EXPECT_EQ(0u, upper.out.find(report));
  EXPECT_NE(std::string::npos, upper.out.find(std::string(endtoend::kP1Line) + "\n"));
  EXPECT_EQ("", upper.error);
  Expect(Run("peekdisk - \"$IMG\" -p \\\\SYS"), 0, std::string(kSysListing) + "\n",
         "No such option(-)\n");
  Expect(Run("peekdisk \"$IMG\" /SYS -px -p1 -p0"), 0, std::string(kSysListing) + "\n", "");
  Expect(Run("peekdisk \"$IMG\" \\\\NOWHERE \\\\CONFIG.SYS"), 0, "\n\n", "");
}

TEST_F(EndToEndTest, ListsRootAndSubdirectories) {
  Expect(Run("peekdisk \"$IMG\" \\\\ \\\\SYS DOC"), 0,
         endtoend::RootListing(kOddEntryLines) + "\n" + kSysListing + "\n" + endtoend::kDocListing +
             "\n",
         "");
}

TEST_F(EndToEndTest, CopiesFileAndDirectoryArguments) {
  Expect(Run("hauldisk \"$IMG\" \\\\SYS\\\\COMMAND.X CONFIG.SYS /NOPE"), 0, "",
         "Not exist file or directory(/NOPE)\n");
  EXPECT_EQ(std::string(1000, 'x'), Work("COMMAND.X"));
  EXPECT_EQ("FILES = 30\r\n", Work("CONFIG.SYS"));
  Expect(Run("mkdir d && cd d && hauldisk \"$IMG\" \\\\SYS"), 0,
         "[\\SYS]\n" + std::string(kSysListing) + "\n", "");
  EXPECT_EQ(std::string(1000, 'x'), Work("d/COMMAND.X"));
}

TEST_F(EndToEndTest, CopiesTheWholePartitionAndRestoresUnderA) {
  Expect(Run("umask 022 && hauldisk -a \"$IMG\" \\\\"), 0,
         endtoend::WholeCopyListing(kOddEntryLines), "Directory copied before(DIRVOL), skip.\n");
  // The stored times are Tokyo wall-clock readings; the read-only bit clears write bits.
  Expect(Run("stat -c \"%n %a %y\" CONFIG.SYS SYS SYS/COMMAND.X DOC DOC/*.TXT && "
             "stat -c \"%n %a\" EMPTY.TXT BADTIME.TXT && ls"),
         0,
         "CONFIG.SYS 444 1998-03-14 12:34:56.000000000 +0900\n"
         "SYS 755 1998-03-15 09:00:00.000000000 +0900\n"
         "SYS/COMMAND.X 644 1998-03-15 09:00:00.000000000 +0900\n"
         "DOC 555 1998-03-14 12:34:56.000000000 +0900\n"
         "DOC/\x93\xFA\x96\x7B\x8C\xEA.TXT 644 1998-03-14 12:34:56.000000000 +0900\n"
         "EMPTY.TXT 644\nBADTIME.TXT 644\n"
         "BADTIME.TXT\nCONFIG.SYS\nDOC\nEMPTY.TXT\nSYS\n",
         "");
  // Directory access times take the stored time too.
  Expect(Run("stat -c \"%n %x\" SYS"), 0, "SYS 1998-03-15 09:00:00.000000000 +0900\n", "");
}

TEST_F(EndToEndTest, Utf8LocaleConvertsOutputPathsAndNames) {
  const std::string u = "C.UTF-8";
  Expect(Run("peekdisk", u), 1, "",
         "X68KフォーマットMO アクセスツール テスト版(Win95/WinNT) by rino Sep  7 2002\n"
         "Usage: peekdisk [-pN] [-i] ドライブ名 ディレクトリ名\n"
         "Option:-pN     パーティション番号を指定、Nは0以上15未満の整数を指定する。\n"
         "       -i      パーティション情報を表示\n"
         "Ex. NTではドライブ名には\\\\.\\PHYSICALDRIVE3などの形式で指定します\n"
         "    95ではドライブ名にはA:、B:などの形式で指定します\n"
         "    WinASPI32を使う時にはドライブ名には0:3:0などの形式で指定します\n"
         "    ディレクトリ名には\\や\\SYSなどの形式で指定します\n");
  Expect(Run("peekdisk \"$IMG\" DOC", u), 0,
         "                      .    <DIR>  1998/03/14(土) 12:34:56\n"
         "                     ..    <DIR>  1998/03/14(土) 12:34:56\n"
         "             日本語.TXT        8  1998/03/14(土) 12:34:56\n"
         "\n",
         "");
  Expect(Run("hauldisk \"$IMG\" /DOC/日本語.TXT && ls", u), 0, "日本語.TXT\n", "");
  EXPECT_EQ("nihongo\n", Work("日本語.TXT"));
}

TEST_F(EndToEndTest, NamesThatDoNotConvertAreEscapedAndComeBack) {
  imagebuilder::X68kImageLayout layout;
  imagebuilder::PartitionLayout partition;
  partition.root = {
      Stamped(File("A\x80"
                   "B.TXT",
                   "x"),
              kMonday, kNine),
      Stamped(Dir("D%41\xFD", {Stamped(File("IN.TXT", "in"), kMonday, kNine)}), kMonday, kNine)};
  layout.partitions = {partition};
  WriteImage(imagebuilder::BuildX68k(layout), "main.hds");
  const std::string u = "C.UTF-8";
  Expect(Run("peekdisk \"$IMG\" \\\\", u), 0,
         "                A%80B.TXT        1  2001/01/01(月) 09:00:00\n"
         "                  D%2541%FD    <DIR>  2001/01/01(月) 09:00:00\n"
         "\n",
         "");
  // The escaped name given back as a path finds the directory.
  Expect(Run("peekdisk \"$IMG\" D%2541%FD", u), 0,
         "                      .    <DIR>  2001/01/01(月) 09:00:00\n"
         "                     ..    <DIR>  2001/01/01(月) 09:00:00\n"
         "                 IN.TXT        2  2001/01/01(月) 09:00:00\n"
         "\n",
         "");
  Run("hauldisk \"$IMG\" \\\\", u);
  EXPECT_EQ("x", Work("A%80B.TXT"));
  EXPECT_EQ("in", Work("D%2541%FD/IN.TXT"));
  // Under the C locale the bytes pass unchanged.
  Expect(Run("peekdisk \"$IMG\" \\\\"), 0,
         "                A\x80"
         "B.TXT        1  2001/01/01(\x8C\x8E) 09:00:00\n"
         "                  D%41\xFD    <DIR>  2001/01/01(\x8C\x8E) 09:00:00\n"
         "\n",
         "");
}

TEST_F(EndToEndTest, FileSizeLimitGivesTheWriteMessageAndTheRunGoesOn) {
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 253);
  imagebuilder::X68kImageLayout layout;
  imagebuilder::PartitionLayout partition;
  partition.root = {File("BIG.DAT", big), File("SMALL.TXT", "small")};
  layout.partitions = {partition};
  WriteImage(imagebuilder::BuildX68k(layout), "main.hds");
  // 100 blocks of 1024 bytes; the program itself keeps SIGXFSZ from ending it.
  const Outcome outcome = Run("ulimit -f 100 && hauldisk \"$IMG\" \\\\ >/dev/null");
  Expect(outcome, 0, "", "Can't write the target file(BIG.DAT)/DiskFull?\n");
  EXPECT_EQ(big.substr(0, 102400), Work("BIG.DAT"));
  EXPECT_EQ("small", Work("SMALL.TXT"));
}

TEST_F(EndToEndTest, HostileNamesWriteNothingOutsideTheTarget) {
  imagebuilder::X68kImageLayout layout;
  imagebuilder::PartitionLayout partition;
  partition.root = {Stamped(Dir("D", {File("IN.TXT", "in")}), kMonday, kNine)};
  partition.rawEntries = {imagebuilder::MakeRawEntry("\\", "..", 0x20, kNine, kMonday),
                          imagebuilder::MakeRawEntry("\\", "../ESCAPE", 0x20, kNine, kMonday),
                          imagebuilder::MakeRawEntry("\\", "/TMP", 0x10, kNine, kMonday),
                          imagebuilder::MakeRawEntry("\\D", "..      /X", 0x20, kNine, kMonday),
                          imagebuilder::MakeRawEntry("\\D", "UP", 0x10, kNine, kMonday)};
  layout.partitions = {partition};
  WriteImage(imagebuilder::BuildX68k(layout), "main.hds");
  const Outcome outcome = Run("mkdir t && cd t && hauldisk \"$IMG\" \\\\ >/dev/null");
  Expect(outcome, 0, "",
         "Unsafe file name(.../X), skip.\n"
         "Directory copied before(UP), skip.\n"
         "Unsafe file name(..), skip.\n"
         "Unsafe file name(../ESCAP.E), skip.\n"
         "Unsafe file name(/TMP), skip.\n");
  std::string made;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    made += fs::relative(entry.path(), root).string() + "\n";
  }
  EXPECT_EQ("", made.find("ESCAP") == std::string::npos ? "" : made);
  EXPECT_TRUE(fs::exists(root / "work/t/D/IN.TXT"));
  EXPECT_FALSE(fs::exists(root / "work/ESCAP.E"));
  EXPECT_FALSE(fs::exists(root / "work/t/X"));
  EXPECT_FALSE(fs::exists(root / "work/t/D/X"));
  EXPECT_EQ(0u, std::distance(fs::directory_iterator(root / "work"), fs::directory_iterator()) - 1);
}

// The image is served through faulty_image_fs, so that hauldisk meets real I/O errors
// from the kernel, at its own offsets and sizes. One bad 512-byte sector at a time: in
// the middle of a 40 KiB file of 2 KiB clusters (its fifth cluster), in the first FAT
// copy, or in the root directory's second sector (entries 16 to 31).
TEST_F(EndToEndTest, FailingSectorsKeepWhatCanBeReadAndRescueFillsTheRest) {
  std::string big(40960, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('A' + (i * 7 + i / 509) % 26);
  imagebuilder::PartitionLayout partition;
  partition.sectorsPerCluster = 2;
  partition.rootEntries = 32;
  partition.clusterCount = 4000;  // a FAT of eight sectors
  partition.root = {File("BIG.DAT", big)};
  for (int i = 1; i <= 20; ++i)
    partition.root.push_back(File("F" + std::to_string(i) + ".TXT", "f" + std::to_string(i)));
  imagebuilder::X68kImageLayout layout;
  layout.partitions = {partition};
  const imagebuilder::Image built = imagebuilder::BuildX68k(layout);
  WriteImage(built, "failing.hds");
  const imagebuilder::PartitionPlacement& placed = built.partitions[0];
  const uint64_t fileSector =
      built.ClusterOffset(0, placed.nodes.at("\\BIG.DAT").clusters[4]) + 512;

  std::string rescued = big;
  std::fill(rescued.begin() + 4 * 2048 + 512, rescued.begin() + 4 * 2048 + 1024, '\0');
  const std::string none = "21 files copied, 0 damaged, 0 bytes unreadable.\n";
  // Bad byte offset, -r, exit status, error output, the copy of BIG.DAT, and how many of
  // F1.TXT, F2.TXT... are copied.
  const std::tuple<uint64_t, bool, int, std::string, std::string, int> cases[] = {
      {fileSector, false, 0, "Can't read the source file(\\BIG.DAT), the copy is incomplete.\n",
       big.substr(0, 8192), 20},
      {fileSector, true, 2,
       "Damaged source file(\\BIG.DAT), 512 bytes unreadable, filled with zeros.\n"
       "21 files copied, 1 damaged, 512 bytes unreadable.\n",
       rescued, 20},
      {placed.fatOffset + 512, false, 0, "", big, 20},
      {placed.fatOffset + 512, true, 0, none, big, 20},
      {placed.rootOffset + 512, false, 0, "Can't read the directory(\\)\n", "<none>", 0},
      {placed.rootOffset + 512, true, 2,
       "Can't read part of the directory(\\), 16 entries lost.\n"
       "16 files copied, 0 damaged, 0 bytes unreadable.\n",
       big, 15},
  };
  const Outcome mounted = Run("mkdir mnt && faulty_image_fs ../failing.hds mnt");
  ASSERT_EQ(0, mounted.status) << "no mount (it needs /dev/fuse and fusermount3): "
                               << mounted.error;
  for (const auto& [bad, rescue, status, error, copy, smallFiles] : cases) {
    const std::string to = std::to_string(bad) + (rescue ? "r" : "");
    SCOPED_TRACE(to);
    Expect(Run("mkdir " + to + " && cd " + to + " && hauldisk " + (rescue ? "-r" : "") +
               " ../mnt/" + std::to_string(bad) + " \\\\ >/dev/null"),
           status, "", error);
    EXPECT_TRUE(copy ==
                (fs::exists(root / "work" / to / "BIG.DAT") ? Work(to + "/BIG.DAT") : "<none>"));
    for (int i = 1; i <= 20; ++i)
      EXPECT_EQ(i <= smallFiles,
                fs::exists(root / "work" / to / ("F" + std::to_string(i) + ".TXT")));
  }
  // peekfs on the file's bad sector: without -r the read across it fails; with -r (in the
  // foreground, so its messages come on the error stream) it gives zeros there, and says
  // so once however often the file is read.
  // peekfs runs in the foreground and is waited for, so that it has let go of the served
  // image before that is unmounted.
  const std::string served = "mnt/" + std::to_string(fileSector);
  const std::string up = " & for i in $(seq 100); do mountpoint -q pm && break; sleep 0.05; done; ";
  Expect(Run("mkdir pm && peekfs -f " + served + " pm" + up +
             "cat pm/BIG.DAT >/dev/null; fusermount3 -u pm; wait"),
         0, "", "cat: pm/BIG.DAT: Input/output error\n");
  Expect(Run("peekfs -f -r " + served + " pm 2>said" + up +
             "cat pm/BIG.DAT >big && dd if=pm/BIG.DAT of=/dev/null bs=64k iflag=direct "
             "status=none && fusermount3 -u pm; wait; cat said"),
         0, "Damaged source file(\\BIG.DAT), 512 bytes unreadable, filled with zeros.\n", "");
  EXPECT_TRUE(rescued == Work("big"));
  Expect(Run("fusermount3 -u mnt"), 0, "", "");
}

// peekfs on an image mkhds makes from a folder: the mount shows the folder as it was, read
// only, and goes away with fusermount3 -u.
TEST_F(EndToEndTest, PeekFsMountsAFolderImageReadOnly) {
  // Start-up failures say what peekdisk says and mount nothing, as do a request for a
  // writable mount and a root that cannot be read (the image ends where it starts).
  const auto rootStart = imagebuilder::BuildX68k(MainLayout()).partitions[0].rootOffset;
  Expect(Run("mkdir mnt && peekfs -p2 \"$IMG\" mnt"), 1, "", "No Such Partition(2)\n");
  Expect(Run("peekfs -o allow_other,rw \"$IMG\" mnt; echo $?; head -c " +
             std::to_string(rootStart) + " \"$IMG\" >../cut.hds && peekfs ../cut.hds mnt; echo " +
             "$?; grep -c \" $PWD/mnt \" /proc/self/mounts"),
         1, "1\n1\n0\n",
         "peekfs: the mount is read-only; -o rw is not allowed\nCan't read the directory(\\)\n");
  Expect(Run("peekfs \"$IMG\" 2>&1 | head -2"), 0,
         "peekfs: give a DRIVE and a MOUNTPOINT\n"
         "Usage: peekfs [-pN] [-f] [-r] [-o OPTION[,OPTION...]] DRIVE MOUNTPOINT\n",
         "");
  // Without /dev/fuse or fusermount3 the mount fails and libfuse says which is missing.
  Expect(Run("mkdir -p src/SYS src/日本語 && printf \"FILES = 30\\r\\n\" >src/CONFIG.SYS && "
             ": >src/EMPTY.TXT && seq 1 2000 >src/SYS/BIG.DAT && echo nihongo >src/日本語/メモ.TXT "
             "&& touch -d \"1998-03-14 12:34:56\" src/*.* src/日本語 src/日本語/* && touch -d "
             "\"1998-03-15 09:00:00\" src/SYS src/SYS/* && chmod 444 src/CONFIG.SYS && mkhds "
             "src.hds src && peekfs src.hds mnt && grep -c \" $PWD/mnt fuse.peekfs ro,\" "
             "/proc/self/mounts && diff -r src mnt && cd mnt && stat -c \"%n %a %s %h %Y\" "
             "CONFIG.SYS SYS SYS/BIG.DAT && stat -f -c \"%S %b %f\" . && tail -c +4001 SYS/BIG.DAT "
             "| head -c 16 && echo && tail -c 10 SYS/BIG.DAT && touch NEW.TXT; echo $? && "
             "(exec 3<>SYS/BIG.DAT); echo $? && test ! -e NEW.TXT",
             "C.UTF-8"),
         0,
         "1\nCONFIG.SYS 444 12 1 889846496\nSYS 755 0 2 889920000\n"
         "SYS/BIG.DAT 644 8893 1 889920000\n1024 510 0\n22\n1023\n1024\n102\n1999\n2000\n1\n1\n",
         "touch: cannot touch 'NEW.TXT': Read-only file system\n"
         "bash: line 1: SYS/BIG.DAT: Read-only file system\n");
  Expect(Run("fusermount3 -u mnt && grep -c \" $PWD/mnt \" /proc/self/mounts"), 1, "0\n", "");

  // A signal (SIGTERM to the daemon, SIGINT with -f) unmounts peekfs at the relative NAME,
  // not a tmpfs at /NAME; in a mount namespace of its own, which needs unshare and root.
  std::ofstream(root / "signal.sh") << R"sh(N=peek_e2e_signal_$$; W=$PWD/here; mkdir /$N || exit
trap "umount -l $W/$N /$N 2>/dev/null; rmdir /$N" EXIT
mount -t tmpfs scratch /$N && mkdir -p $W/$N && cd $W || exit
shown() { grep -E " (/$N|$W/$N) " /proc/self/mounts | cut -d" " -f3; }
waited() { for i in $(seq 100); do "$@" && return; sleep 0.05; done; }
gone() { ! grep -qs "^State:.[^Z]" /proc/$P/status; }
peekfs "$IMG" $N && shown && P=$(pgrep -xf "peekfs $IMG $N") && kill $P && waited gone && shown
(waited mountpoint -q $N; kill -INT $(pgrep -xf "peekfs -f $IMG $N")) &
timeout 20 peekfs -f "$IMG" $N; echo $?; wait; shown
)sh";
  Expect(Run("unshare --mount --propagation private bash ../signal.sh"), 0,
         "tmpfs\nfuse.peekfs\ntmpfs\n0\ntmpfs\n", "");
}

// A damaged layout through a real mount: a folder whose name ends in a lone lead byte, four
// folders that each link the other three, a chain that loops inside its file's size and
// one that ends before it. find ends with each folder once; a read of the two files fails
// (a read gives all it asks for or nothing) and their sizes stay.
TEST_F(EndToEndTest, PeekFsShowsADamagedTreeOnceAndFailsBrokenChains) {
  imagebuilder::PartitionLayout partition;
  partition.root = {Dir("TL\x81", {Dir("SUB", {File("IN.TXT", "in\n")})}),
                    File("LOOP.DAT", std::string(3000, 'l')),
                    File("SHORT.DAT", std::string(3000, 's'))};
  for (int i = 0; i < 4; ++i) partition.root.push_back(Dir("C" + std::to_string(i), {}));
  imagebuilder::X68kImageLayout layout;
  layout.partitions = {partition};
  const imagebuilder::Image probe = imagebuilder::BuildX68k(layout);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const std::string name = "C" + std::to_string(j);
      if (i != j)
        layout.partitions[0].rawEntries.push_back(
            imagebuilder::MakeRawEntry("\\C" + std::to_string(i), name + "         ", 0x10, 0, 0,
                                       probe.partitions[0].nodes.at("\\" + name).clusters[0]));
    }
  }
  imagebuilder::Image image = imagebuilder::BuildX68k(layout);
  const auto& nodes = image.partitions[0].nodes;
  image.SetFatEntry(0, nodes.at("\\LOOP.DAT").clusters[1], nodes.at("\\LOOP.DAT").clusters[0]);
  image.SetFatEntry(0, nodes.at("\\SHORT.DAT").clusters[0], 0xFFFF);
  WriteImage(image, "damaged.hds");
  Expect(
      Run("mkdir mnt && peekfs ../damaged.hds mnt && find mnt | sort && cat mnt/TL%81/SUB/IN.TXT "
          "; cat mnt/LOOP.DAT mnt/SHORT.DAT | wc -c; stat -c %s "
          "mnt/SHORT.DAT; fusermount3 -u mnt",
          "C.UTF-8"),
      0,
      "mnt\nmnt/C0\nmnt/C1\nmnt/C2\nmnt/C3\nmnt/LOOP.DAT\nmnt/SHORT.DAT\nmnt/TL%81\n"
      "mnt/TL%81/SUB\nmnt/TL%81/SUB/IN.TXT\nin\n0\n3000\n",
      "cat: mnt/LOOP.DAT: Input/output error\ncat: mnt/SHORT.DAT: Input/output error\n");
}

// PC floppy images made and filled by mtools, with 12-bit FATs: 1.44 MB (512-byte sectors,
// a file reaching past cluster 0x800) and the 1232 KiB PC-98 format (1024-byte sectors).
// BIG.BIN fills the hole GAP.BIN left, so its chain jumps. hauldisk copies what mcopy put
// in, byte for byte. A FAT32 medium is not supported.
TEST_F(EndToEndTest, PcFloppyImagesFromMtoolsCopyByteForByte) {
  ASSERT_EQ(0, Run("mkdir -p src/MANY && seq 1 170000 >src/BIG.BIN && : >src/EMPTY.TXT && "
                   "echo a >src/A.TXT && head -c 5000 src/BIG.BIN >gap.bin && for i in "
                   "$(seq 1 35); do echo file $i >src/MANY/F$i.TXT; done")
                   .status);
  for (const char* format : {"-f 1440", "-t 77 -h 2 -s 8 -S 3 -r 6 -c 1"}) {
    SCOPED_TRACE(format);
    Expect(Run(std::string("rm -rf f.img out && mformat -C -i f.img ") + format +
               " :: && mcopy -i f.img gap.bin src/A.TXT :: && mdel -i f.img ::/GAP.BIN && mcopy "
               "-s -i f.img src/BIG.BIN src/EMPTY.TXT src/MANY :: && mkdir out && cd out && "
               "hauldisk ../f.img \\\\ >/dev/null && cd .. && diff -r src out && echo same"),
           0, "same\n", "");
  }
  Expect(Run("PATH=$PATH:/usr/sbin mkfs.fat -F 32 -C f32.img 40000 >/dev/null && peekdisk f32.img "
             "\\\\"),
         1, "", "Not Supported Media\n");
}

// Human68k 2HD images: mkhds's (chains interleaved) reported, listed and copied; one of 78
// cylinders whose BPB does not fit read with the standard layout, refused cut to 76.
TEST_F(EndToEndTest, HumanFloppyImagesAreListedAndCopied) {
  imagebuilder::PartitionLayout layout;
  layout.root = {Stamped(File("ODD.TXT", "standard layout"), kMonday, kNine)};
  WriteImage(imagebuilder::BuildHumanFloppy(layout, {false, true, 78}), "odd.xdf");
  Expect(Run("mkdir -p src/MANY && seq 1 50000 >src/BIG.DAT && : >src/EMPTY.TXT && for i in "
             "$(seq 1 35); do echo file $i >src/MANY/F$i.TXT; done && touch -d \"2001-01-01 "
             "09:00:00\" src/*.* src/MANY && mkhds --floppy f.xdf src && stat -c %s f.xdf && "
             "peekdisk -i f.xdf \\\\ && mkdir out && cd out && hauldisk ../f.xdf \\\\ >/dev/null "
             "&& cd .. && diff -r src out && mkdir mnt && peekfs f.xdf mnt && diff -r src mnt "
             "&& fusermount3 -u mnt && echo same"),
         0,
         "1261568\nMax Partition= 1\nPartition Number= 0\n\tSector\t1024(byte/sector)\n"
         "\tClustor\t1(sector/clustor)\n\tStart Sector\t0\n\tPart.Size\t1232(sector)\n"
         "\tStart FAT\t1\n\tFAT Size\t2(sector)\n\tFAT Number\t2\n\tStart Root\t5(sector)\n"
         "\tRoot Size\t6144(byte)\n\n"
         "                BIG.DAT   288894  2001/01/01(\x8C\x8E) 09:00:00\n"
         "              EMPTY.TXT        0  2001/01/01(\x8C\x8E) 09:00:00\n"
         "                   MANY    <DIR>  2001/01/01(\x8C\x8E) 09:00:00\n\nsame\n",
         "");
  Expect(Run("hauldisk ../odd.xdf ODD.TXT && cat ODD.TXT && head -c 1245184 ../odd.xdf "
             ">short.xdf && peekdisk short.xdf \\\\"),
         1, "standard layout", "Not Supported Media\n");
}

// DIM and D88 files: one disk raw, as a DIM and as a D88 with its sectors stored out of
// order copies the same; the disks of a D88 are its partitions; a sector a D88 leaves out
// is lost as a bad sector of a disk is.
TEST_F(EndToEndTest, FloppyContainersReadAsTheDisksTheyHold) {
  std::string big(6000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i * 7 % 26);
  imagebuilder::PartitionLayout first, second;
  first.root = {File("BIG.DAT", big), Dir("D", {File("IN.TXT", "in")})};
  second.root = {File("TWO.TXT", "two")};
  const imagebuilder::Image one = imagebuilder::BuildHumanFloppy(first, {true});
  const imagebuilder::Image two = imagebuilder::BuildHumanFloppy(second, {});
  imagebuilder::D88Options shuffled, lost;
  shuffled.shuffled = true;
  const uint64_t bad = one.ClusterOffset(0, one.partitions[0].nodes.at("\\BIG.DAT").clusters[2]);
  lost.marks.push_back({0, static_cast<uint32_t>(bad / 1024), true, 0, 0});
  const std::pair<const char*, std::vector<uint8_t>> files[] = {
      {"f.xdf", one.bytes},
      {"f.dim", imagebuilder::WriteDim(one.bytes)},
      {"f.d88", imagebuilder::WriteD88({one.bytes}, shuffled)},
      {"two.d88", imagebuilder::WriteD88({two.bytes, one.bytes})},
      {"lost.d88", imagebuilder::WriteD88({one.bytes}, lost)}};
  for (const auto& [name, bytes] : files) {
    std::ofstream((root / name).string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  Expect(
      Run("for f in f.xdf f.dim f.d88; do mkdir $f && (cd $f && hauldisk ../../$f \\\\ >/dev/null) "
          "&& cat $f/D/IN.TXT && cmp $f/BIG.DAT f.xdf/BIG.DAT; done; peekdisk -i ../two.d88 \\\\ | "
          "grep -c \"Partition Number\"; hauldisk -p0 ../two.d88 TWO.TXT >/dev/null && hauldisk "
          "-p1 ../two.d88 "
          "BIG.DAT >/dev/null && cat TWO.TXT && cmp BIG.DAT f.xdf/BIG.DAT"),
      0, "ininin2\ntwo", "");
  EXPECT_TRUE(big == Work("f.xdf/BIG.DAT"));
  std::string holed = big;
  std::fill(holed.begin() + 2048, holed.begin() + 3072, '\0');
  Expect(Run("mkdir p r && cd p && hauldisk ../../lost.d88 BIG.DAT >/dev/null"), 0, "",
         "Can't read the source file(\\BIG.DAT), the copy is incomplete.\n");
  Expect(Run("cd r && hauldisk -r ../../lost.d88 BIG.DAT >/dev/null"), 2, "",
         "Damaged source file(\\BIG.DAT), 1024 bytes unreadable, filled with zeros.\n"
         "1 files copied, 1 damaged, 1024 bytes unreadable.\n");
  EXPECT_TRUE(big.substr(0, 2048) == Work("p/BIG.DAT"));
  EXPECT_TRUE(holed == Work("r/BIG.DAT"));
}

}  // namespace
