#ifndef TESTS_PROGRAM_TEXTS_H_
#define TESTS_PROGRAM_TEXTS_H_

// The programs' own texts, written byte for byte (code page 932) from their rules, for
// the tests of every build that compare whole outputs.

#include <string>

namespace programtexts {

// "指定のドライブはオープンできません\n": the drive cannot be opened.
inline const char kCannotOpen[] =
    "\x8Ew\x92\xE8\x82\xCC\x83h\x83\x89\x83"
    "C\x83u\x82\xCD\x83I\x81[\x83v\x83\x93\x82\xC5"
    "\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";

inline const char kPeekUsage[] =
    "X68K\x83t\x83H\x81[\x83}\x83"
    "b\x83gMO \x83"
    "A\x83N\x83Z\x83X\x83"
    "c\x81[\x83\x8B \x83"
    "e\x83X\x83g\x94\xC5(Win95/WinNT) by rino Sep  7 2002\n"
    "Usage: peekdisk [-pN] [-i] \x83h\x83\x89\x83"
    "C\x83u\x96\xBC \x83"
    "f\x83"
    "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\n";
inline const char kHaulUsage[] =
    "X68K\x83t\x83H\x81[\x83}\x83"
    "b\x83gMO \x83"
    "A\x83N\x83Z\x83X\x83"
    "c\x81[\x83\x8B \x83"
    "e\x83X\x83g\x94\xC5(Win95/WinNT) by HOLMA Mar  14 1998\n"
    "                                               modified by rino Sep 14 2002\n"
    "Usage: hauldisk [-pN] [-i] [-a] \x83h\x83\x89\x83"
    "C\x83u\x96\xBC \x83"
    "f\x83"
    "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\n";
inline const char kOptionLines[] =
    "Option:-pN     \x83p\x81[\x83"
    "e\x83"
    "B\x83V\x83\x87\x83\x93\x94\xD4\x8D\x86\x82\xF0"
    "\x8Ew\x92\xE8\x81"
    "AN\x82\xCD"
    "0\x88\xC8\x8F\xE3"
    "15\x96\xA2\x96\x9E\x82\xCC\x90\xAE"
    "\x90\x94\x82\xF0\x8Ew\x92\xE8\x82\xB7\x82\xE9\x81"
    "B\n"
    "       -i      \x83p\x81[\x83"
    "e\x83"
    "B\x83V\x83\x87\x83\x93\x8F\xEE\x95\xF1\x82\xF0"
    "\x95\\\x8E\xA6\n";
inline const char kAttributeLine[] =
    "       -a      \x83t\x83@\x83"
    "C\x83\x8B\x91\xAE\x90\xAB\x81"
    "E\x93\xFA\x95t\x82\xF0"
    "\x95\x9C\x8C\xB3\n";
inline const char kExampleLines[] =
    "Ex. NT\x82\xC5\x82\xCD\x83h\x83\x89\x83"
    "C\x83u\x96\xBC\x82\xC9\x82\xCD"
    "\\\\.\\PHYSICALDRIVE3\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5"
    "\x82\xDC\x82\xB7\n"
    "    95\x82\xC5\x82\xCD\x83h\x83\x89\x83"
    "C\x83u\x96\xBC\x82\xC9\x82\xCD"
    "A:\x81"
    "AB:"
    "\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5\x82\xDC\x82\xB7\n"
    "    WinASPI32\x82\xF0\x8Eg\x82\xA4\x8E\x9E\x82\xC9\x82\xCD\x83h\x83\x89\x83"
    "C\x83u\x96\xBC"
    "\x82\xC9\x82\xCD"
    "0:3:0\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5"
    "\x82\xDC\x82\xB7\n"
    "    \x83"
    "f\x83"
    "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\x82\xC9\x82\xCD\\\x82\xE2\\SYS\x82\xC8"
    "\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5\x82\xDC\x82\xB7\n";

inline std::string PeekUsage() { return std::string(kPeekUsage) + kOptionLines + kExampleLines; }
inline std::string HaulUsage() {
  return std::string(kHaulUsage) + kOptionLines + kAttributeLine + kExampleLines;
}

// peekdisk --help, naming the drive forms of the platform built for.
inline const char kPeekHelp[] =
    "Usage: peekdisk [-pN] [-i] [-r] DRIVE PATH [PATH...]\n"
    "Lists directories of an X68000 disk or disk image, which it only reads.\n"
    "  -pN        read partition N (default 0)\n"
    "  -i         print the partition table first\n"
    "  -r         rescue: read around bad sectors, zeros for what cannot be read\n"
    "  --help     print this text\n"
    "  --version  print the version\n"
#ifdef _WIN32
    "DRIVE is an image file (D:\\disk.hds), a physical drive \\\\.\\PHYSICALDRIVEn\n"
    "(Windows NT and later), a drive letter such as A: (Windows 95/98) or a SCSI\n"
    "address H:T:L such as 0:3:0, reached through ASPI (wnaspi32.dll).\n"
#else
    "DRIVE is an image file (disk.hds), a block device such as /dev/sdb or a SCSI\n"
    "address H:T:L such as 0:3:0, reached through the SCSI generic driver.\n"
#endif
    "PATH is a path on the partition: \\ (the root), \\SYS or SYS/BIN.\n";

// The report lines of partition `number` as the image builder makes it by default (1024-byte
// sectors, one sector per cluster, 2 FATs of one sector, 512 root entries), starting at
// `startSector`: 32 for the first partition, where the builder puts it.
inline std::string ReportPartition(int number, int startSector) {
  return "Partition Number= " + std::to_string(number) +
         "\n"
         "\tSector\t1024(byte/sector)\n"
         "\tClustor\t1(sector/clustor)\n"
         "\tStart Sector\t" +
         std::to_string(startSector) +
         "\n"
         "\tPart.Size\t0(sector)\n"
         "\tStart FAT\t1\n"
         "\tFAT Size\t1(sector)\n"
         "\tFAT Number\t2\n"
         "\tStart Root\t3(sector)\n"
         "\tRoot Size\t16384(byte)\n"
         "\n";
}

}  // namespace programtexts

#endif  // TESTS_PROGRAM_TEXTS_H_
