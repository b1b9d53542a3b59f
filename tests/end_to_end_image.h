#ifndef TESTS_END_TO_END_IMAGE_H_
#define TESTS_END_TO_END_IMAGE_H_

// The image the end-to-end tests of every build run the programs on, and what the programs
// print for it (code page 932).

#include <cstdint>
#include <string>
#include <vector>

#include "tools/image_builder.h"

namespace endtoend {

inline const uint16_t kSaturday = imagebuilder::DosDate(1998, 3, 14);
inline const uint16_t kSunday = imagebuilder::DosDate(1998, 3, 15);
inline const uint16_t kMonday = imagebuilder::DosDate(2001, 1, 1);
inline const uint16_t kNoon = imagebuilder::DosTime(12, 34, 56);
inline const uint16_t kNine = imagebuilder::DosTime(9, 0, 0);

// "日本語.TXT" in code page 932.
inline const char kJapaneseName[] = "\x93\xFA\x96\x7B\x8C\xEA.TXT";

// Two partitions. The first holds CONFIG.SYS (read-only, archive), SYS with COMMAND.X
// (hidden, system, archive), EMPTY.TXT (no valid date), DOC (hidden, read-only) with
// 日本語.TXT, then the raw entries of a volume label and a link, and `moreRaw` after them.
// The second holds P1.TXT.
inline imagebuilder::X68kImageLayout MainLayout(std::vector<imagebuilder::RawEntry> moreRaw = {}) {
  using imagebuilder::Dir;
  using imagebuilder::File;
  using imagebuilder::MakeRawEntry;
  using imagebuilder::Stamped;
  imagebuilder::PartitionLayout first;
  first.root = {
      Stamped(File("CONFIG.SYS", "FILES = 30\r\n", 0x21), kSaturday, kNoon),
      Stamped(
          Dir("SYS", {Stamped(File("COMMAND.X", std::string(1000, 'x'), 0x26), kSunday, kNine)}),
          kSunday, kNine),
      File("EMPTY.TXT", ""),
      Stamped(Dir("DOC", {Stamped(File(kJapaneseName, "nihongo\n"), kSaturday, kNoon)}, 0x13),
              kSaturday, kNoon),
  };
  first.rawEntries = {
      MakeRawEntry("\\", "VOLUME1", 0x08, 0, kMonday),
      MakeRawEntry("\\", "LINK    LNK", 0x40, imagebuilder::DosTime(10, 20, 30), kMonday),
  };
  first.rawEntries.insert(first.rawEntries.end(), moreRaw.begin(), moreRaw.end());
  imagebuilder::PartitionLayout second;
  second.root = {Stamped(File("P1.TXT", "one"), kMonday, kNine)};
  imagebuilder::X68kImageLayout layout;
  layout.partitions = {first, second};
  return layout;
}

// The head of peekdisk -i for the image.
inline const char kReportHead[] = "Max Partition= 2\n";

// peekdisk's lines for the entries of the first partition's root.
inline const char kConfigLine[] =
    "             CONFIG.SYS       12  1998/03/14(\x93\x79) 12:34:56\n";
inline const char kSysLine[] = "                    SYS    <DIR>  1998/03/15(\x93\xFA) 09:00:00\n";
inline const char kEmptyLine[] = "              EMPTY.TXT        0  ----/--/--(--) --:--:--\n";
inline const char kDocLine[] = "                    DOC    <DIR>  1998/03/14(\x93\x79) 12:34:56\n";
inline const char kLabelAndLinkLines[] =
    "                VOLUME1    <VOL>  2001/01/01(\x8C\x8E) 00:00:00\n"
    "               LINK.LNK    <LNK>  2001/01/01(\x8C\x8E) 10:20:30\n";

// peekdisk's line for P1.TXT in the second partition's root.
inline const char kP1Line[] = "                 P1.TXT        3  2001/01/01(\x8C\x8E) 09:00:00\n";

// peekdisk's listings of SYS and DOC.
inline const char kSysListing[] =
    "                      .    <DIR>  1998/03/15(\x93\xFA) 09:00:00\n"
    "                     ..    <DIR>  1998/03/15(\x93\xFA) 09:00:00\n"
    "              COMMAND.X     1000  1998/03/15(\x93\xFA) 09:00:00\n";
inline const char kDocListing[] =
    "                      .    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "                     ..    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
    "             \x93\xFA\x96\x7B\x8C\xEA.TXT        8  1998/03/14(\x93\x79) 12:34:56\n";

// peekdisk's listing of the root, `moreLines` being those of the raw entries MainLayout was
// given.
inline std::string RootListing(const std::string& moreLines = "") {
  return std::string(kConfigLine) + kSysLine + kEmptyLine + kDocLine + kLabelAndLinkLines +
         moreLines;
}

// What hauldisk prints copying the whole first partition: each directory's lines, a
// subdirectory's own listing where the copy enters it.
inline std::string WholeCopyListing(const std::string& moreLines = "") {
  return std::string("[\\]\n") + kConfigLine + kSysLine + "[\\SYS]\n" + kSysListing + "\n" +
         kEmptyLine + kDocLine + "[\\DOC]\n" + kDocListing + "\n" + kLabelAndLinkLines + moreLines +
         "\n";
}

}  // namespace endtoend

#endif  // TESTS_END_TO_END_IMAGE_H_
