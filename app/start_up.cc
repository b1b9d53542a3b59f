#include "app/start_up.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/listing.h"
#include "app/tree_copy.h"
#include "volume/media_recognition.h"

namespace {

// The texts are code page 932 bytes.
// clang-format off
const char* const kHaulDiskBanner[] = {
    "X68K\x83t\x83H\x81[\x83}\x83" "b\x83gMO \x83" "A\x83N\x83Z\x83X\x83" "c\x81[\x83\x8B \x83"
    "e\x83X\x83g\x94\xC5(Win95/WinNT) by HOLMA Mar  14 1998\n",
    "                                               modified by rino Sep 14 2002\n",
    "Usage: hauldisk [-pN] [-i] [-a] \x83h\x83\x89\x83" "C\x83u\x96\xBC \x83" "f\x83"
    "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\n",
};

const char* const kPeekDiskBanner[] = {
    "X68K\x83t\x83H\x81[\x83}\x83" "b\x83gMO \x83" "A\x83N\x83Z\x83X\x83" "c\x81[\x83\x8B \x83"
    "e\x83X\x83g\x94\xC5(Win95/WinNT) by rino Sep  7 2002\n",
    "Usage: peekdisk [-pN] [-i] \x83h\x83\x89\x83" "C\x83u\x96\xBC \x83" "f\x83"
    "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\n",
};

const char kPartitionOptionLine[] =
    "Option:-pN     \x83p\x81[\x83" "e\x83" "B\x83V\x83\x87\x83\x93\x94\xD4\x8D\x86\x82\xF0"
    "\x8Ew\x92\xE8\x81" "AN\x82\xCD" "0\x88\xC8\x8F\xE3" "15\x96\xA2\x96\x9E\x82\xCC\x90\xAE"
    "\x90\x94\x82\xF0\x8Ew\x92\xE8\x82\xB7\x82\xE9\x81" "B\n";
const char kTableOptionLine[] =
    "       -i      \x83p\x81[\x83" "e\x83" "B\x83V\x83\x87\x83\x93\x8F\xEE\x95\xF1\x82\xF0"
    "\x95\\\x8E\xA6\n";
const char kAttributeOptionLine[] =
    "       -a      \x83t\x83@\x83" "C\x83\x8B\x91\xAE\x90\xAB\x81" "E\x93\xFA\x95t\x82\xF0"
    "\x95\x9C\x8C\xB3\n";
const char* const kExampleLines[] = {
    "Ex. NT\x82\xC5\x82\xCD\x83h\x83\x89\x83" "C\x83u\x96\xBC\x82\xC9\x82\xCD"
    "\\\\.\\PHYSICALDRIVE3\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5"
    "\x82\xDC\x82\xB7\n",
    "    95\x82\xC5\x82\xCD\x83h\x83\x89\x83" "C\x83u\x96\xBC\x82\xC9\x82\xCD" "A:\x81" "AB:"
    "\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5\x82\xDC\x82\xB7\n",
    "    WinASPI32\x82\xF0\x8Eg\x82\xA4\x8E\x9E\x82\xC9\x82\xCD\x83h\x83\x89\x83" "C\x83u\x96\xBC"
    "\x82\xC9\x82\xCD" "0:3:0\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5"
    "\x82\xDC\x82\xB7\n",
    "    \x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\x82\xC9\x82\xCD\\\x82\xE2\\SYS\x82\xC8"
    "\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5\x82\xDC\x82\xB7\n",
};
// clang-format on

// The English usage of --help, ASCII.
const char kPeekDiskHelpHead[] =
    "Usage: peekdisk [-pN] [-i] [-r] DRIVE PATH [PATH...]\n"
    "Lists directories of an X68000 disk or disk image, which it only reads.\n";
const char kHaulDiskHelpHead[] =
    "Usage: hauldisk [-pN] [-i] [-a] [-r] DRIVE PATH [PATH...]\n"
    "Copies files and directory trees of an X68000 disk or disk image, which it only\n"
    "reads, into the current directory.\n";
const char kHelpPartitionOptions[] =
    "  -pN        read partition N (default 0)\n"
    "  -i         print the partition table first\n";
const char kHelpAttributeOption[] = "  -a         carry attributes and dates over to the copies\n";
const char kHelpOtherOptions[] =
    "  -r         rescue: read around bad sectors, zeros for what cannot be read\n"
    "  --help     print this text\n"
    "  --version  print the version\n";
#ifdef _WIN32
const char kHelpDrives[] =
    "DRIVE is an image file (D:\\disk.hds), a physical drive \\\\.\\PHYSICALDRIVEn\n"
    "(Windows NT and later), a drive letter such as A: (Windows 95/98) or a SCSI\n"
    "address H:T:L such as 0:3:0, reached through ASPI (wnaspi32.dll).\n";
#else
const char kHelpDrives[] =
    "DRIVE is an image file (disk.hds), a block device such as /dev/sdb or a SCSI\n"
    "address H:T:L such as 0:3:0, reached through the SCSI generic driver.\n";
#endif
const char kHelpPaths[] = "PATH is a path on the partition: \\ (the root), \\SYS or SYS/BIN.\n";

// "The given drive cannot be opened."
// clang-format off
const char kCannotOpenDrive[] =
    "\x8Ew\x92\xE8\x82\xCC\x83h\x83\x89\x83" "C\x83u\x82\xCD\x83I\x81[\x83v\x83\x93\x82\xC5"
    "\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n";
// clang-format on

constexpr int kPartitionTableCapacity = 15;

// C-locale toupper: only a-z change.
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool HasArgument(int argc, char** argv, const char* whole) {
  for (int index = 1; index < argc; ++index) {
    if (std::strcmp(argv[index], whole) == 0) return true;
  }
  return false;
}

}  // namespace

void ScanOptions(Program program, int* argc, char** argv, Options* options, Console* console) {
  if (*argc < 2) return;
  int index = 1;
  while (index < *argc) {
    const char* argument = argv[index];
    if (argument[0] != '-') {
      ++index;
      continue;
    }
    const char letter = UpperAscii(argument[1]);
    if (letter == 'A' && program == Program::kHaulDisk) {
      options->restoreAttributes = 1;
    } else if (letter == 'R') {
      options->rescue = 1;
    } else if (letter == 'I') {
      options->showPartitionTable = 1;
    } else if (letter == 'P') {
      // atol rules: blanks and a sign, digits up to the first other character, none = 0.
      options->partitionNumber = static_cast<int>(std::atol(argument + 2));
    } else {
      console->Error("No such option(%s)\n", console->ArgumentText(argument).c_str());
    }
    for (int later = index; later < *argc; ++later) argv[later] = argv[later + 1];
    *argc -= 1;
  }
}

void PrintUsage(Program program, Console* console) {
  if (program == Program::kHaulDisk) {
    for (const char* line : kHaulDiskBanner) console->ErrorText(line);
  } else {
    for (const char* line : kPeekDiskBanner) console->ErrorText(line);
  }
  console->ErrorText(kPartitionOptionLine);
  console->ErrorText(kTableOptionLine);
  if (program == Program::kHaulDisk) console->ErrorText(kAttributeOptionLine);
  for (const char* line : kExampleLines) console->ErrorText(line);
}

void PrintHelp(Program program, Console* console) {
  const bool haul = program == Program::kHaulDisk;
  console->OutText(haul ? kHaulDiskHelpHead : kPeekDiskHelpHead);
  console->OutText(kHelpPartitionOptions);
  if (haul) console->OutText(kHelpAttributeOption);
  console->OutText(kHelpOtherOptions);
  console->OutText(kHelpDrives);
  console->OutText(kHelpPaths);
}

void PartitionReport(const PartitionInfo* table, int count, Console* console) {
  console->Out("Max Partition= %d\n", count);
  for (int index = 0; index < count; ++index) {
    const PartitionInfo& info = table[index];
    console->Out("Partition Number= %d\n", index);
    if (info.bootUnreadable) {
      console->OutText("\tCan't read the boot sector\n\n");
      continue;
    }
    console->Out("\tSector\t%d(byte/sector)\n", static_cast<int>(info.sectorSize));
    console->Out("\tClustor\t%d(sector/clustor)\n", static_cast<int>(info.sectorsPerCluster));
    console->Out("\tStart Sector\t%d\n", static_cast<int>(info.startSector));
    console->Out("\tPart.Size\t%d(sector)\n", static_cast<int>(info.partitionSectors));
    console->Out("\tStart FAT\t%d\n", static_cast<int>(info.fatStart));
    console->Out("\tFAT Size\t%d(sector)\n", static_cast<int>(info.fatSectors));
    console->Out("\tFAT Number\t%d\n", static_cast<int>(info.fatCount));
    console->Out("\tStart Root\t%d(sector)\n", static_cast<int>(info.rootStart));
    console->Out("\tRoot Size\t%d(byte)\n", static_cast<int>(info.rootBytes));
    console->OutText("\n");
  }
}

int OpenMedium(const char* drive, const Options& options, Console* console, SectorDevice* disk,
               OpenedMedium* out) {
  disk->SetName(drive);  // the drive name stays as the raw drive service opens it
  if (disk->Open(0) < 0) {
    console->ErrorText(kCannotOpenDrive);
    return 1;
  }
  bool recognized = false;
  out->volume = RecognizeMedia(disk, options.rescue != 0, &recognized);
  if (!recognized) {
    console->ErrorText("Not Supported Media\n");
    return 1;
  }
  if (!out->volume) {
    console->ErrorText("Can't create the volume (out of memory)\n");
    return 1;
  }
  out->table.resize(kPartitionTableCapacity);
  out->table.resize(out->volume->ReadPartitionTable(out->table.data(), kPartitionTableCapacity));
  if (options.showPartitionTable) {
    PartitionReport(out->table.data(), static_cast<int>(out->table.size()), console);
  }
  return 0;
}

int SelectVolume(OpenedMedium* medium, int partitionNumber, Console* console, StartedVolume* out) {
  // A negative number would index before the table: refused like one past its end.
  if (partitionNumber < 0 || static_cast<size_t>(partitionNumber) >= medium->table.size()) {
    console->Error("No Such Partition(%d)\n", partitionNumber);
    return 1;
  }
  if (medium->table[partitionNumber].bootUnreadable) {
    console->Error("Can't read the boot sector of partition %d\n", partitionNumber);
    return 1;
  }
  out->mounted = medium->volume->SelectPartition(medium->table[partitionNumber]) >= 0;
  if (!out->mounted) {
    console->Error("Can't read the FAT of partition %d\n", partitionNumber);
  } else if (const uint32_t unknown = medium->volume->UnknownFatEntries(); unknown > 0) {
    console->Error("Can't read part of the FAT of partition %d, %u clusters unknown.\n",
                   partitionNumber, unknown);
    out->fatDamaged = true;
  }
  out->volume = std::move(medium->volume);
  return 0;
}

int StartVolume(const char* drive, const Options& options, Console* console, SectorDevice* disk,
                StartedVolume* out) {
  OpenedMedium medium;
  if (OpenMedium(drive, options, console, disk, &medium) != 0) return 1;
  return SelectVolume(&medium, options.partitionNumber, console, out);
}

int RunProgram(Program program, int argc, char** argv, Console* console, const Platform& platform) {
  if (HasArgument(argc, argv, "--help")) {
    PrintHelp(program, console);
    return 0;
  }
  if (HasArgument(argc, argv, "--version")) {
    console->Out("%s %s\n", program == Program::kHaulDisk ? "hauldisk" : "peekdisk", PEEK_VERSION);
    return 0;
  }
  Options options;
  ScanOptions(program, &argc, argv, &options, console);
  if (argc < 3) {
    PrintUsage(program, console);
    return 1;
  }
  StartedVolume started;
  if (StartVolume(argv[1], options, console, platform.disk, &started) != 0) return 1;
  std::unique_ptr<HumanVolume>& volume = started.volume;
  DamageTally tally;
  tally.unreadable = !started.mounted || started.fatDamaged;
  // Without its FAT the partition has nothing to show for any argument; it has been said.
  if (!started.mounted) return options.rescue ? 2 : 0;

  std::vector<std::string> paths;
  for (int index = 2; index < argc; ++index) paths.push_back(console->ArgumentText(argv[index]));
  if (program == Program::kPeekDisk) {
    for (const std::string& path : paths)
      ListDirectory(volume.get(), console, path.c_str(), &tally);
  } else {
    CopyContext context(volume.get(), console, platform.target, options.restoreAttributes != 0,
                        platform.terminal);
    context.tally.unreadable = tally.unreadable;
    for (const std::string& path : paths) CopyArgument(&context, path.c_str());
    tally = context.tally;
    if (options.rescue) {
      console->Error("%u files copied, %u damaged, %u bytes unreadable.\n", tally.filesCopied,
                     tally.filesDamaged, tally.bytesUnreadable);
    }
  }
  return options.rescue && tally.unreadable ? 2 : 0;
}
