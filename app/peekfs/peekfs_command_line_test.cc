#include "app/peekfs/peekfs_command_line.h"

#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"

namespace {

// "ACTION pN FR [DRIVE][MOUNTPOINT]", F 'f' or '-' for -f, R 'r' or '-' for -r, then
// " o=LIST" per mount option list and " / PROBLEM" when there is one.
std::string Show(const PeekFsCommand& c) {
  const char* const actions[] = {"mount", "help", "version", "wrong", "refused"};
  std::string text = std::string(actions[c.action]) + " p" + std::to_string(c.partitionNumber) +
                     " " + (c.foreground ? "f" : "-") + (c.rescue ? "r" : "-") + " [" + c.drive +
                     "][" + c.mountPoint + "]";
  for (const std::string& list : c.mountOptions) text += " o=" + list;
  return c.problem.empty() ? text : text + " / " + c.problem;
}

TEST(PeekFsCommandLineTest, ScansOptionsAnywhereAndOperandsAfterDoubleDash) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{"IMG", "MNT"}, "mount p0 -- [IMG][MNT]"},
      {{"IMG", "-p3", "-f", "MNT"}, "mount p3 f- [IMG][MNT]"},
      {{"-p-1", "IMG", "MNT"}, "mount p-1 -- [IMG][MNT]"},
      {{"-o", "allow_other", "-oro,dev", "IMG", "MNT"},
       "mount p0 -- [IMG][MNT] o=allow_other o=ro,dev"},
      {{"-r", "IMG", "MNT"}, "mount p0 -r [IMG][MNT]"},
      {{"IMG", "-R", "MNT"}, "mount p0 -r [IMG][MNT]"},
      {{"-rescue", "IMG", "MNT"}, "mount p0 -r [IMG][MNT]"},
      {{"-f", "--", "-x", "MNT"}, "mount p0 f- [-x][MNT]"},
      {{"-o", "fsname=a\\,rw", "-orwx,norw", "IMG", "MNT"},
       "mount p0 -- [IMG][MNT] o=fsname=a\\,rw o=rwx,norw"},
      {{"-o", "r\\w", "-o\\162w", "IMG"},
       "refused p0 -- [][] o=r\\w o=\\162w / the mount is read-only; -o rw is not allowed"},
      {{"IMG", "MNT", "-o"}, "wrong p0 -- [][] / -o needs a list of mount options"},
      {{"-o", "", "IMG", "MNT"}, "wrong p0 -- [][] / -o needs a list of mount options"},
      {{"-p 1", "IMG", "MNT"}, "wrong p0 -- [][] / not a partition number: -p 1"},
      {{"-p", "IMG", "MNT"}, "wrong p0 -- [][] / not a partition number: -p"},
      {{"-p99999999999", "IMG", "MNT"}, "wrong p0 -- [][] / not a partition number: -p99999999999"},
      {{"-x", "-py", "IMG", "MNT"}, "wrong p0 -- [][] / no such option: -x"},
      {{"--", "IMG", "MNT", "-r"}, "wrong p0 -- [][] / give a DRIVE and a MOUNTPOINT"},
      {{"IMG"}, "wrong p0 -- [][] / give a DRIVE and a MOUNTPOINT"},
      {{}, "wrong p0 -- [][] / give a DRIVE and a MOUNTPOINT"},
      {{"-x", "-py", "-h"}, "help p0 -- [][]"},
      {{"--version", "--help", "IMG", "MNT"}, "help p0 -- [][]"},
      {{"IMG", "--version", "-r"}, "version p0 -r [][]"},
  };
  for (const auto& [arguments, expected] : cases) {
    std::vector<const char*> argv = {"peekfs"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(expected, Show(ScanPeekFsCommandLine(static_cast<int>(argv.size()), argv.data())))
        << arguments.size() << " arguments, the first " << (arguments.empty() ? "" : arguments[0]);
  }
}

}  // namespace
