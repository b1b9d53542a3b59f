#include "app/peekfs/peek_fs.h"

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"
#include "tests/file_system_test_support.h"

namespace {

using imagebuilder::Dir;
using imagebuilder::File;
using imagebuilder::MakeRawEntry;
std::string E(int error) { return std::to_string(-error); }

// A PeekFs, UTF-8 names, over a builder image (1024-byte clusters), mounted again by Mount.
struct Mounted {
  explicit Mounted(const imagebuilder::PartitionLayout& layout) : disk(layout) { Mount(); }
  void Mount(const std::vector<int64_t>& badSectors = {}) {
    disk.Mount(badSectors);
    fs = std::make_unique<PeekFs>(disk.volume.get(), text.get());
  }
  // "mode links size blocks time", the mode as ls shows its type and octal bits.
  static std::string Show(const platform::NodeAttributes& a) {
    std::ostringstream s;
    s << "-d"[a.isDirectory] << std::oct << a.permissions << std::dec << ' ' << a.links << ' '
      << a.size << ' ' << a.blocks << ' ' << a.time;
    return s.str();
  }
  // The attributes of `path` and what opening it to read and to write gives, or the error of all.
  std::string Probe(const std::string& path) {
    platform::NodeAttributes a;
    const int result = fs->GetAttributes(path, &a);
    uint64_t h = 0;
    const std::string opens = E(-fs->Open(path, false, &h)) + " " + E(-fs->Open(path, true, &h));
    if (result != 0 && opens == E(-result) + " " + E(-result)) return E(-result);
    return (result == 0 ? Show(a) : E(-result)) + " | " + opens;
  }
  // "path attributes" per entry from `first` on (under "/", a level deeper too); or the error.
  std::string List(const std::string& dir, size_t first = 0, size_t most = 99) {
    std::string out;
    const int result = fs->ReadDirectory(dir, first, [&](const std::string& name, const auto& a) {
      const std::string path = (dir == "/" ? dir : dir + "/") + name;
      const std::string opens = a.isDirectory ? E(EISDIR) + " " + E(EISDIR) : "0 " + E(EROFS);
      EXPECT_EQ(Show(a) + " | " + opens, Probe(path));
      out += path + " " + Show(a) + "\n" + (a.isDirectory && dir == "/" ? List(path) : "");
      return --most > 0;
    });
    return result == 0 ? out : E(-result);
  }
  // The bytes a read of `path` (opened at its first read) gives, or its failure as "error N".
  std::string Read(const std::string& path, int64_t offset, size_t size) {
    if (handles.count(path) == 0 && fs->Open(path, false, &handles[path]) != 0) return "no open";
    std::string bytes(size, '\0');
    const int count = fs->Read(handles[path], &bytes[0], size, offset);
    return count < 0 ? "error " + std::to_string(count) : bytes.substr(0, count);
  }
  fstest::MountedImage disk;
  std::unique_ptr<platform::HostText> text = platform::NewHostTextFor("UTF-8");
  std::unique_ptr<PeekFs> fs;
  std::map<std::string, uint64_t> handles;
};

TEST(PeekFsTest, ShowsWhatACopyTakesWithHostNamesModesAndTimes) {
  const uint16_t day = imagebuilder::DosDate(1998, 3, 14), noon = imagebuilder::DosTime(12, 34, 56);
  const auto at = [&](imagebuilder::Node node) { return imagebuilder::Stamped(node, day, noon); };
  imagebuilder::PartitionLayout layout = fstest::Partition(
      {at(File("CONFIG.SYS", "FILES = 30\r\n", 0x21)), at(Dir("SYS", {})), File("EMPTY.TXT", ""),
       at(Dir("DOC", {at(File("\x93\xFA\x96\x7B.TXT", "nihongo\n"))}, 0x11)),
       File("A\200B.TXT", "x")});
  // Hidden: a label, a link, a second name, refused/unreachable names, the root (UP), deleted ones.
  const auto raw = [&](const char* n, uint8_t kind) { return MakeRawEntry("\\", n, kind, 0, day); };
  layout.rawEntries = {raw("VOLUME1", 0x08), raw("LINK    LNK", 0x40), raw("CONFIG  SYS", 0x20),
                       raw("..", 0x20),      raw("A\\B", 0x20),        raw("UP", 0x10)};
  for (int i = 0; i < 31; ++i)
    layout.rawEntries.push_back(MakeRawEntry("\\SYS", "\xE5", 0x20, 0, 0));
  Mounted m(layout);
  const std::string t = " 889846496\n";  // 1998-03-14 12:34:56 in Tokyo
  EXPECT_EQ("/CONFIG.SYS -444 1 12 2" + t + "/SYS d755 2 0 4" + t + "/EMPTY.TXT -644 1 0 0 0\n" +
                "/DOC d555 2 0 2" + t + "/DOC/日本.TXT -644 1 8 2" + t +
                "/A%80B.TXT -644 1 1 2 0\n",
            m.List("/"));
  EXPECT_EQ("/SYS d755 2 0 4" + t + E(ENOTDIR) + E(ENOENT),
            m.List("/", 1, 1) + m.List("/", 5) + m.List("/CONFIG.SYS") + m.List("/NOPE"));
  EXPECT_EQ("d755 2 0 4 0 | " + E(EISDIR) + " " + E(EISDIR) + E(ENOTDIR) + E(ENOENT) + E(ENOENT),
            m.Probe("/") + m.Probe("/CONFIG.SYS/X") + m.Probe("/NOPE") + m.Probe("/NOPE/X"));
}

TEST(PeekFsTest, ReadsAllAskedForAnywhereOrFailsWithEio) {
  const std::string frag = fstest::Pattern(3000, 1), run = fstest::Pattern(5000, 7);
  imagebuilder::Node fragmented = File("FRAG", frag);
  fragmented.fragmented = true;
  // Like RUN: the third cluster's sector fails, or the second links to 0, past the FAT, the end.
  Mounted m(fstest::Partition({fragmented, File("RUN", run), File("BAD", run), File("FREE", run),
                               File("PAST", run), File("SHORT", run), File("LOOP", run)}));
  m.disk.image.SetFatEntry(0, m.disk.Node("\\FREE").clusters[1], 0);
  m.disk.image.SetFatEntry(0, m.disk.Node("\\PAST").clusters[1], 0xFFF0);
  m.disk.image.SetFatEntry(0, m.disk.Node("\\SHORT").clusters[1], 0xFFFF);
  m.disk.image.SetFatEntry(0, m.disk.Node("\\LOOP").clusters[1], m.disk.Node("\\LOOP").clusters[0]);
  m.Mount({m.disk.ReadSector(m.disk.Node("\\BAD").clusters[2]) + 1});
  // Within a cluster, across its ends, to and past the end, backwards; whole runs in one request.
  const std::tuple<std::string, int64_t, size_t> reads[] = {
      {"/FRAG", 1000, 100}, {"/FRAG", 2900, 500}, {"/FRAG", 3000, 10},  {"/FRAG", 10, 2990},
      {"/FRAG", 0, 2048},   {"/RUN", 4000, 1000}, {"/RUN", 1024, 3072}, {"/RUN", 100, 4900},
      {"/RUN", 1023, 2},    {"/RUN", 0, 9000}};
  for (const auto& [path, offset, size] : reads) {
    m.disk.device->ClearLog();
    EXPECT_EQ((path == "/RUN" ? run : frag).substr(offset, size), m.Read(path, offset, size))
        << path << " at " << offset;
  }
  EXPECT_EQ(8, m.disk.device->Log().at(1).count);  // the last: RUN's 4 whole clusters at once
  // All the bytes or EIO, never fewer; the same again after the head alone.
  const std::string head = run.substr(0, 2048), eio = "error " + E(EIO);
  for (const auto& [path, whole] : std::map<std::string, std::string>{
           {"/BAD", eio}, {"/FREE", eio}, {"/PAST", eio}, {"/SHORT", eio}, {"/LOOP", eio}}) {
    for (size_t size : {9000, 2048, 3000})
      EXPECT_EQ(size == 2048 ? head : whole, m.Read(path, 0, size)) << path << " " << size;
  }
}

// Directories are held by their clusters: a folder whose name ends in a lone lead byte
// leads to its subfolder, and ten folders that each link the other nine show each once, in
// the root where their ".." entries put them, whatever order they are met in.
TEST(PeekFsTest, ShowsEachFolderOnceWhereItsParentEntryPutsIt) {
  std::vector<imagebuilder::Node> root = {Dir("TL\x81", {Dir("SUB", {File("IN.TXT", "in")})})};
  for (int i = 0; i < 10; ++i) root.push_back(Dir("C" + std::to_string(i), {File("F.TXT", "f")}));
  imagebuilder::PartitionLayout layout = fstest::Partition(root);
  const fstest::MountedImage probe(layout);
  for (int i = 0; i < 10; ++i) {
    for (int j = 0; j < 10; ++j) {
      const std::string name = "C" + std::to_string(j);
      if (i != j)
        layout.rawEntries.push_back(MakeRawEntry("\\C" + std::to_string(i), name + "         ",
                                                 0x10, 0, 0, probe.FirstCluster("\\" + name)));
    }
  }
  for (const char* first : {"/", "/C3"}) {
    Mounted m(layout);
    std::vector<std::string> seen;
    std::function<void(const std::string&)> walk = [&](const std::string& dir) {
      ASSERT_LT(seen.size(), 100u);
      m.fs->ReadDirectory(dir, 0, [&](const std::string& name, const platform::NodeAttributes& a) {
        seen.push_back((dir == "/" ? dir : dir + "/") + name);
        if (a.isDirectory) walk(seen.back());
        return true;
      });
    };
    walk(first);
    seen.clear();
    walk("/");
    EXPECT_EQ(23u, seen.size()) << first;
    EXPECT_EQ("in", m.Read("/TL%81/SUB/IN.TXT", 0, 10));
    EXPECT_EQ(E(ENOENT), m.Probe("/C3/C4"));
  }
}

}  // namespace
