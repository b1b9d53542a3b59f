#include "app/peekfs/peek_fs.h"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/peekfs/peekfs_command_line.h"
#include "gtest/gtest.h"
#include "platform/dos_date_time.h"
#include "volume/file_system_test_support.h"

namespace {

using fstest::Pattern;
using imagebuilder::Dir;
using imagebuilder::DosDate;
using imagebuilder::DosTime;
using imagebuilder::File;
using imagebuilder::MakeRawEntry;
using imagebuilder::Stamped;

const uint16_t kSaturday = DosDate(1998, 3, 14);  // at 12:34:56 in Tokyo: 889846496
const uint16_t kNoon = DosTime(12, 34, 56);

// A PeekFs over a builder image (one partition, 1024-byte clusters), UTF-8 names. `damage`
// changes the image before the mount and gives the device sectors that fail.
struct Mounted {
  using Damage = std::function<std::vector<int64_t>(fstest::MountedImage*)>;
  explicit Mounted(imagebuilder::PartitionSpec spec, const Damage& damage = nullptr)
      : disk(spec), text(platform::NewHostTextFor("UTF-8")) {
    disk.Mount(damage ? damage(&disk) : std::vector<int64_t>());
    fs = std::make_unique<PeekFs>(disk.volume.get(), text.get());
  }
  // "mode links size blocks time", the mode as ls shows its type and octal bits.
  static std::string Show(const platform::NodeAttributes& a) {
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%c%o", a.isDirectory ? 'd' : '-', a.permissions);
    return std::string(mode) + " " + std::to_string(a.links) + " " + std::to_string(a.size) + " " +
           std::to_string(a.blocks) + " " + std::to_string(a.time);
  }
  // The entries from number `first` on, at most `most` of them.
  std::string List(const std::string& path, size_t first = 0, size_t most = 100) {
    std::string text;
    const int result = fs->ReadDirectory(
        path, first, [&](const std::string& name, const platform::NodeAttributes& a) {
          text += name + " " + Show(a) + "\n";
          return --most > 0;
        });
    return result == 0 ? text : std::to_string(result);
  }
  std::string Attributes(const std::string& path) {
    platform::NodeAttributes a;
    const int result = fs->GetAttributes(path, &a);
    return result == 0 ? Show(a) : std::to_string(result);
  }
  // The bytes a read gives, or its failure as "error N".
  std::string Read(uint64_t handle, int64_t offset, size_t size) {
    std::string bytes(size, '\0');
    const int count = fs->Read(handle, &bytes[0], size, offset);
    return count < 0 ? "error " + std::to_string(count) : bytes.substr(0, count);
  }
  fstest::MountedImage disk;
  std::unique_ptr<platform::HostText> text;
  std::unique_ptr<PeekFs> fs;
};

imagebuilder::PartitionSpec Tree() {
  imagebuilder::PartitionSpec spec = fstest::Partition(
      {Stamped(File("CONFIG.SYS", "FILES = 30\r\n", 0x21), kSaturday, kNoon),
       Stamped(Dir("SYS", {File("COMMAND.X", std::string(1000, 'x'))}), kSaturday, kNoon),
       File("EMPTY.TXT", ""),
       Stamped(
           Dir("DOC", {Stamped(File("\x93\xFA\x96\x7B.TXT", "nihongo\n"), kSaturday, kNoon)}, 0x11),
           kSaturday, kNoon),
       File("A\x80"
            "B.TXT",
            "x")});
  spec.rawEntries = {MakeRawEntry("\\", "VOLUME1", 0x08, 0, kSaturday),
                     MakeRawEntry("\\", "LINK    LNK", 0x40, 0, kSaturday),
                     MakeRawEntry("\\", "CONFIG  SYS", 0x20, 0, kSaturday),  // a second of the name
                     MakeRawEntry("\\", "..", 0x20, 0, kSaturday),           // unsafe for a file
                     MakeRawEntry("\\", "A\\B", 0x20, 0, kSaturday),         // no path leads to it
                     MakeRawEntry("\\", "UP", 0x10, 0, kSaturday)};          // the root once more
  return spec;
}

TEST(PeekFsTest, ShowsWhatACopyTakesWithModesTimesAndHostNames) {
  int64_t tokyo = 0;
  ASSERT_TRUE(platform::LocalDosTimeToSeconds(kSaturday, kNoon, &tokyo));
  ASSERT_EQ(889846496, tokyo) << "the test runs with TZ=Asia/Tokyo";
  Mounted m(Tree());
  EXPECT_EQ(
      "CONFIG.SYS -444 1 12 2 889846496\n"
      "SYS d755 2 0 2 889846496\n"
      "EMPTY.TXT -644 1 0 0 0\n"
      "DOC d555 2 0 2 889846496\n"
      "A%80B.TXT -644 1 1 2 0\n",
      m.List("/"));
  EXPECT_EQ("日本.TXT -644 1 8 2 889846496\n", m.List("/DOC"));
  EXPECT_EQ("EMPTY.TXT -644 1 0 0 0\nDOC d555 2 0 2 889846496\n", m.List("/", 2, 2));
  EXPECT_EQ("", m.List("/", 5));
  const std::pair<const char*, std::string> cases[] = {
      {"/", "d755 2 0 4 0"},
      {"/SYS/COMMAND.X", "-644 1 1000 2 0"},
      {"/DOC/日本.TXT", "-644 1 8 2 889846496"},
      {"/NOPE", std::to_string(-ENOENT)},
      {"/UP", std::to_string(-ENOENT)},
      {"/config.sys", std::to_string(-ENOENT)},
      {"/CONFIG.SYS/X", std::to_string(-ENOTDIR)},
      {"/NOPE/X", std::to_string(-ENOENT)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, m.Attributes(c.first)) << c.first;
  EXPECT_EQ(std::to_string(-ENOTDIR), m.List("/CONFIG.SYS"));
  uint64_t handle = 0;
  EXPECT_EQ(-EISDIR, m.fs->Open("/SYS", false, &handle));
  EXPECT_EQ(-EROFS, m.fs->Open("/CONFIG.SYS", true, &handle));
  EXPECT_EQ(-ENOENT, m.fs->Open("/NOPE", false, &handle));
  ASSERT_EQ(0, m.fs->Open("/CONFIG.SYS", false, &handle));
  EXPECT_EQ("FILES = 30\r\n", m.Read(handle, 0, 100));
  EXPECT_EQ(0, m.fs->Release(handle));
  EXPECT_EQ(-EBADF, m.fs->Release(handle));
  platform::FileSystemTotals totals;
  ASSERT_EQ(0, m.fs->StatFs(&totals));
  EXPECT_EQ(1024u, totals.blockBytes);
  EXPECT_EQ(m.disk.image.partitions[0].fatBytes / 2 - 2, totals.blocks);
  EXPECT_EQ(0u, totals.freeBlocks);
}

TEST(PeekFsTest, ReadsAnyOffsetForwardsAndBackwards) {
  const std::string frag = Pattern(3000, 1), run = Pattern(5000, 7);
  imagebuilder::Node fragmented = File("FRAG.BIN", frag);
  fragmented.fragmented = true;
  Mounted m(fstest::Partition({fragmented, File("RUN.BIN", run)}));
  uint64_t f = 0, r = 0;
  ASSERT_EQ(0, m.fs->Open("/FRAG.BIN", false, &f));
  ASSERT_EQ(0, m.fs->Open("/RUN.BIN", false, &r));
  const struct {
    uint64_t handle;
    int64_t offset;
    size_t size;
  } reads[] = {{f, 1000, 100},  {f, 2900, 500},  {f, 3000, 10},  {f, 10, 2990}, {f, 0, 1024},
               {r, 4000, 1000}, {r, 1024, 3072}, {r, 100, 4900}, {r, 1023, 2},  {r, 0, 9000}};
  for (const auto& c : reads) {
    const std::string& whole = c.handle == f ? frag : run;
    EXPECT_EQ(whole.substr(c.offset, c.size), m.Read(c.handle, c.offset, c.size)) << c.offset;
  }
  // Back to the first cluster: one read of it, no walk over the device.
  m.disk.device->ClearLog();
  const std::vector<uint16_t> chain = m.disk.Node("\\FRAG.BIN").clusters;
  EXPECT_EQ(frag.substr(0, 2048), m.Read(f, 0, 2048));
  std::string log;
  for (uint16_t cluster : {chain[0], chain[1]}) {
    log += "seek " + std::to_string(m.disk.SeekSector(cluster)) + "\nread " +
           std::to_string(m.disk.ReadSector(cluster)) + "+2\n";
  }
  EXPECT_EQ(log, m.disk.device->LogText());
}

TEST(PeekFsTest, DamageFailsTheWholeReadOrEndsTheFileWithItsChain) {
  const std::string data = Pattern(3000, 3);
  struct Case {
    const char* what;
    bool badSector;
    uint16_t secondLink;  // the FAT entry of the second cluster; 0 keeps it
    std::string whole;
    std::string head;
  } cases[] = {
      {"bad sector in the third cluster", true, 0, "error -5", data.substr(0, 2048)},
      {"chain broken after the second", false, 0x0000, "error -5", data.substr(0, 2048)},
      {"chain ends after the second", false, 0xFFFF, data.substr(0, 2048), data.substr(0, 2048)},
  };
  for (const Case& c : cases) {
    Mounted m(fstest::Partition({File("DATA.BIN", data)}), [&c](fstest::MountedImage* d) {
      const std::vector<uint16_t> chain = d->Node("\\DATA.BIN").clusters;
      if (c.badSector) return std::vector<int64_t>{d->ReadSector(chain[2]) + 1};
      d->image.SetFatEntry(0, chain[1], c.secondLink);
      return std::vector<int64_t>();
    });
    uint64_t handle = 0;
    ASSERT_EQ(0, m.fs->Open("/DATA.BIN", false, &handle));
    EXPECT_EQ(c.whole, m.Read(handle, 0, 3000)) << c.what;
    EXPECT_EQ(c.head, m.Read(handle, 0, 2048)) << c.what;
    EXPECT_EQ(c.whole, m.Read(handle, 0, 3000)) << c.what;  // the same again
  }
}

TEST(PeekFsCommandLineTest, ScansOptionsAnywhere) {
  using C = PeekFsCommand;
  const struct {
    std::vector<const char*> arguments;
    C::Action action;
    std::string shown;  // partition, foreground, options, drive, mount point, or the problem
  } cases[] = {
      {{"D", "M"}, C::kMount, "0 0 | D M"},
      {{"-p1", "D", "-f", "M", "-o", "allow_other", "-oro,x=1"},
       C::kMount,
       "1 1 allow_other ro,x=1 | D M"},
      {{"--", "-D", "M"}, C::kMount, "0 0 | -D M"},
      {{"-p-1", "D", "M"}, C::kMount, "-1 0 | D M"},
      {{"-x", "D", "M", "--help"}, C::kHelp, ""},
      {{"--version", "D"}, C::kVersion, ""},
      {{"-x", "D", "M"}, C::kWrong, "no such option: -x"},
      {{"-p", "D", "M"}, C::kWrong, "not a partition number: -p"},
      {{"-p1x", "D", "M"}, C::kWrong, "not a partition number: -p1x"},
      {{"D", "M", "-o"}, C::kWrong, "-o needs a list of mount options"},
      {{"D"}, C::kWrong, "give a DRIVE and a MOUNTPOINT"},
      {{"D", "M", "X"}, C::kWrong, "give a DRIVE and a MOUNTPOINT"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"peekfs"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    const C command = ScanPeekFsCommandLine(static_cast<int>(argv.size()), argv.data());
    std::string shown = command.problem;
    if (command.action == C::kMount) {
      shown = std::to_string(command.partitionNumber) + " " + (command.foreground ? "1" : "0");
      for (const std::string& option : command.mountOptions) shown += " " + option;
      shown += " | " + command.drive + " " + command.mountPoint;
    }
    EXPECT_EQ(c.action, command.action) << c.arguments[0];
    EXPECT_EQ(c.shown, shown) << c.arguments[0];
  }
}

}  // namespace
