// Runs peekdisk.exe and hauldisk.exe under Windows (Wine in CI) on images from the
// builder, given as Windows paths, and compares whole outputs with their \r\n line ends,
// exit statuses, and the copied trees with their attributes and times.
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/win32/win32_support.h"
#include "tests/end_to_end_image.h"
#include "tests/program_texts.h"
#include "tests/windows/loop_image.h"
#include "tests/windows/windows_process.h"
#include "tools/image_builder.h"

namespace {

using endtoend::kDocListing;
using endtoend::kNoon;
using endtoend::kSaturday;
using endtoend::kSysListing;
using imagebuilder::Dir;
using imagebuilder::File;
using imagebuilder::Stamped;
using programtexts::kCannotOpen;
using windowstest::Outcome;
using windowstest::ReadWhole;
using windowstest::ScratchFolder;
using windowstest::UtcTicks;
using windowstest::Widen;
using windowstest::WindowsPathOf;

// The C runtime's text mode ends every line with \r\n on Windows.
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

// "日本語.TXT" as UTF-16.
const wchar_t kJapaneseWide[] = L"\u65E5\u672C\u8A9E.TXT";

uint64_t Ticks(const FILETIME& time) {
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

struct Stamp {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  uint64_t creation = 0;
  uint64_t access = 0;
  uint64_t write = 0;
};

// What GetFileAttributes and GetFileTime report for a copy.
Stamp ReadStamp(const std::wstring& path) {
  Stamp stamp;
  stamp.attributes = GetFileAttributesW(path.c_str());
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return stamp;
  FILETIME creation, access, write;
  if (GetFileTime(handle, &creation, &access, &write)) {
    stamp.creation = Ticks(creation);
    stamp.access = Ticks(access);
    stamp.write = Ticks(write);
  }
  CloseHandle(handle);
  return stamp;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Wine keeps no read-only bit on directories (it has no place for one in the mode of a
// directory that it would honour); Windows does.
bool RunsOnWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class WindowsEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    scratch = std::make_unique<ScratchFolder>(std::string("scratch_") + info->name());
    image = scratch->File("main.hds");
    const imagebuilder::Image built = imagebuilder::BuildX68k(endtoend::MainLayout());
    ASSERT_EQ("", built.error);
    ASSERT_TRUE(built.WriteTo(image));
    work = scratch->File("work");
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
  }

  Outcome Peek(const std::vector<std::string>& arguments) {
    return windowstest::Run(WindowsPathOf(PEEK_PEEKDISK), arguments, scratch->Path());
  }
  Outcome Haul(const std::vector<std::string>& arguments) {
    return windowstest::Run(WindowsPathOf(PEEK_HAULDISK), arguments, work);
  }

  void Expect(const Outcome& outcome, int status, const std::string& out,
              const std::string& error) {
    EXPECT_EQ(status, outcome.status);
    EXPECT_EQ(Crlf(out), outcome.out);
    EXPECT_EQ(Crlf(error), outcome.error);
  }

  std::wstring Copy(const std::wstring& relative) { return Wide(work) + L"\\" + relative; }

  std::unique_ptr<ScratchFolder> scratch;
  std::string image;
  std::string work;
};

TEST_F(WindowsEndToEndTest, ImageIsGivenAsADriveZPath) {
  ASSERT_EQ(0u, image.rfind("Z:\\", 0)) << image;
}

TEST_F(WindowsEndToEndTest, UsageAndStartUpFailures) {
  std::ofstream(scratch->File("zeros.img"), std::ios::binary) << std::string(65536, '\0');
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  };
  const std::string missing = scratch->File("missing.hds");
  const Case cases[] = {
      {{}, programtexts::PeekUsage()},
      {{image}, programtexts::PeekUsage()},
      {{missing, "\\"}, kCannotOpen},
      {{"Q:\\no\\such\\disk.hds", "\\"}, kCannotOpen},
      {{scratch->File("zeros.img"), "\\"}, "Not Supported Media\n"},
      {{"-p2", image, "\\"}, "No Such Partition(2)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    Expect(Peek(c.arguments), 1, "", c.error);
  }
}

TEST_F(WindowsEndToEndTest, HelpAndVersionNameTheWindowsDriveForms) {
  Expect(Peek({"Q:\\no\\such\\disk.hds", "--help"}), 0, programtexts::kPeekHelp, "");
  Expect(Haul({"-i", "--version"}), 0, "hauldisk 1.1.0\n", "");
}

TEST_F(WindowsEndToEndTest, ListsDirectoriesWithWindowsLineEnds) {
  Expect(Peek({image, "\\", "\\SYS", "DOC", "\\NOWHERE"}), 0,
         endtoend::RootListing() + "\n" + kSysListing + "\n" + kDocListing + "\n\n", "");
  Expect(Peek({"-p1", image, "/"}), 0, std::string(endtoend::kP1Line) + "\n", "");
}

TEST_F(WindowsEndToEndTest, PartitionReportComesFirst) {
  Expect(Peek({"-i", image, "\\SYS"}), 0,
         endtoend::kReportHead + programtexts::ReportPartition(0, 32) +
             programtexts::ReportPartition(1, 72) + kSysListing + "\n",
         "");
}

TEST_F(WindowsEndToEndTest, CopiesFileArgumentsIntoTheCurrentDirectory) {
  Expect(Haul({image, "\\SYS\\COMMAND.X", "CONFIG.SYS", "/NOPE"}), 0, "",
         "Not exist file or directory(/NOPE)\n");
  EXPECT_EQ(std::string(1000, 'x'), ReadWhole(Copy(L"COMMAND.X")));
  EXPECT_EQ("FILES = 30\r\n", ReadWhole(Copy(L"CONFIG.SYS")));
  // Without -a a copy is a plain archive file.
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE),
            GetFileAttributesW(Copy(L"CONFIG.SYS").c_str()));
}

// A Human68k 2HD floppy image, and the same disk in a D88 file, copy the same.
TEST_F(WindowsEndToEndTest, CopiesFromFloppyImages) {
  imagebuilder::PartitionLayout layout;
  layout.root = {imagebuilder::File("FLOPPY.TXT", "from a floppy\r\n")};
  const imagebuilder::Image floppy = imagebuilder::BuildHumanFloppy(layout, {true});
  ASSERT_TRUE(floppy.WriteTo(scratch->File("disk.xdf")));
  const std::vector<uint8_t> d88 = imagebuilder::WriteD88({floppy.bytes});
  std::ofstream(scratch->File("disk.d88"), std::ios::binary)
      .write(reinterpret_cast<const char*>(d88.data()), static_cast<std::streamsize>(d88.size()));
  for (const char* name : {"disk.xdf", "disk.d88"}) {
    SCOPED_TRACE(name);
    Expect(Haul({scratch->File(name), "FLOPPY.TXT"}), 0, "", "");
    EXPECT_EQ("from a floppy\r\n", ReadWhole(Copy(L"FLOPPY.TXT")));
    EXPECT_TRUE(DeleteFileW(Copy(L"FLOPPY.TXT").c_str()));
  }
}

TEST_F(WindowsEndToEndTest, CopiesTheWholePartitionWithAttributesAndTimes) {
  // The stored times are wall-clock readings of the zone the test runs in.
  TIME_ZONE_INFORMATION zone;
  GetTimeZoneInformation(&zone);
  ASSERT_EQ(-540, zone.Bias) << "the test runs with TZ=Asia/Tokyo";

  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // The programs read the clock with GetSystemTime, in milliseconds.
  const uint64_t before = Ticks(now) - Ticks(now) % 10000;
  Expect(Haul({"-a", image, "\\"}), 0, endtoend::WholeCopyListing(), "");

  EXPECT_EQ("FILES = 30\r\n", ReadWhole(Copy(L"CONFIG.SYS")));
  EXPECT_EQ(std::string(1000, 'x'), ReadWhole(Copy(L"SYS\\COMMAND.X")));
  EXPECT_EQ("", ReadWhole(Copy(L"EMPTY.TXT")));
  // The Japanese name is made from the code page 932 bytes on the disk.
  EXPECT_EQ("nihongo\n", ReadWhole(Copy(std::wstring(L"DOC\\") + kJapaneseWide)));
  EXPECT_EQ("<missing>", ReadWhole(Copy(L"VOLUME1"))) << "a volume label is not copied";
  EXPECT_EQ("<missing>", ReadWhole(Copy(L"LINK.LNK"))) << "a link is not copied";

  const uint64_t kSaturdayNoonUtc = UtcTicks(1998, 3, 14, 3, 34, 56);
  const uint64_t kSundayNineUtc = UtcTicks(1998, 3, 15, 0, 0, 0);
  struct Expected {
    std::wstring path;
    DWORD attributes;
    uint64_t write;
    bool directory;
  };
  const Expected expected[] = {
      {L"CONFIG.SYS", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, kSaturdayNoonUtc, false},
      {L"SYS", FILE_ATTRIBUTE_DIRECTORY, kSundayNineUtc, true},
      {L"SYS\\COMMAND.X", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE,
       kSundayNineUtc, false},
      {L"DOC",
       static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                          (RunsOnWine() ? 0 : FILE_ATTRIBUTE_READONLY)),
       kSaturdayNoonUtc, true},
      {std::wstring(L"DOC\\") + kJapaneseWide, FILE_ATTRIBUTE_ARCHIVE, kSaturdayNoonUtc, false},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(std::string(e.path.begin(), e.path.end()));
    const Stamp stamp = ReadStamp(Copy(e.path));
    EXPECT_EQ(e.attributes, stamp.attributes);
    EXPECT_EQ(e.write, stamp.write);
    if (e.directory) {
      // A directory takes the stored time for access (and creation) too.
      EXPECT_EQ(e.write, stamp.access);
    } else {
      // A file was last accessed now.
      EXPECT_GE(stamp.access, before);
    }
  }
  // EMPTY.TXT has no valid stored date: its times stay those of the copy.
  EXPECT_GE(ReadStamp(Copy(L"EMPTY.TXT")).write, before);
}

// "表計算" (the second byte of 表 is '\') and "予算.TXT", in code page 932 and UTF-8.
const char kSheets[] = "\x95\x5C\x8C\x76\x8E\x5A";
const char kSheetsUtf8[] = u8"\u8868\u8A08\u7B97";
const char kBudget[] = "\x97\x5C\x8E\x5A.TXT";

// The arguments reach the programs as UTF-16 and convert as on Linux under a UTF-8 locale;
// what the programs print to a file stays code page 932.
TEST_F(WindowsEndToEndTest, JapanesePathsAndImageFolderWork) {
  imagebuilder::PartitionLayout partition;
  partition.root = {
      Stamped(Dir(kSheets, {Stamped(File(kBudget, "yen\n"), kSaturday, kNoon)}), kSaturday, kNoon)};
  imagebuilder::X68kImageLayout layout;
  layout.partitions = {partition};
  ASSERT_TRUE(imagebuilder::BuildX68k(layout).WriteTo(scratch->File("sheets.hds")));
  // "ディスク": no ANSI code page but 932 holds it.
  const std::string folder = scratch->File(u8"\u30C7\u30A3\u30B9\u30AF");
  const std::string japaneseImage = folder + "\\sheets.hds";
  ASSERT_TRUE(CreateDirectoryW(Widen(folder).c_str(), nullptr));
  ASSERT_TRUE(MoveFileW(Widen(scratch->File("sheets.hds")).c_str(), Widen(japaneseImage).c_str()));

  const std::string listing =
      std::string(
          "                      .    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
          "                     ..    <DIR>  1998/03/14(\x93\x79) 12:34:56\n"
          "               ") +
      kBudget + "        4  1998/03/14(\x93\x79) 12:34:56\n";
  Expect(Peek({japaneseImage, std::string("\\") + kSheetsUtf8}), 0, listing + "\n", "");
  Expect(Haul({japaneseImage, std::string("\\") + kSheetsUtf8, "/NO%41", u8"\\\U0001F600",
               "D%2541%FD"}),
         0, std::string("[\\") + kSheets + "]\n" + listing + "\n",
         "Not exist file or directory(/NOA)\n"
         "Not exist file or directory(\\\xF0\x9F\x98\x80)\n"  // no code page 932 form: kept
         "Not exist file or directory(D%41\xFD)\n");
  EXPECT_EQ("yen\n", ReadWhole(Copy(L"\u4E88\u7B97.TXT")));
}

// CTest runs this suite as on Windows in another language (LANG=C.UTF-8: code page 1252)
// and as on Japanese Windows (ja_JP.UTF-8: 932), with the same expectations.
TEST(WindowsLocaleTest, AnsiCodePageIsThatOfTheLocale) {
  const char* locale = std::getenv("PEEK_WINE_LOCALE");
  ASSERT_NE(nullptr, locale) << "CTest names the locale in PEEK_WINE_LOCALE";
  EXPECT_EQ(std::string(locale).rfind("ja_JP", 0) == 0 ? 932u : 1252u, GetACP())
      << "Wine takes the ANSI code page from LANG=" << locale
      << "; the locale must be generated (locale-gen, as scripts/install-deps.sh does)";
}

TEST_F(WindowsEndToEndTest, TargetThatCannotBeCreatedGivesTheWindowsErrorCode) {
  // A folder of the file's name cannot be replaced: ERROR_ACCESS_DENIED.
  ASSERT_TRUE(CreateDirectoryA((work + "\\CONFIG.SYS").c_str(), nullptr));
  Expect(Haul({image, "CONFIG.SYS", "\\SYS\\COMMAND.X"}), 0, "",
         "Can't open the target file(.\\CONFIG.SYS/Code=5)\n");
  EXPECT_EQ(std::string(1000, 'x'), ReadWhole(Copy(L"COMMAND.X")));
}

TEST_F(WindowsEndToEndTest, SecondRunUnderARefusesReadOnlyHiddenAndSystemCopies) {
  ASSERT_EQ(0, Haul({"-a", image, "\\"}).status);
  const Outcome second = Haul({"-a", image, "\\"});
  EXPECT_EQ(0, second.status);
  if (RunsOnWine()) {
    // Wine run by root opens a read-only file for writing and replaces hidden and system
    // files: every copy is simply made again.
    EXPECT_EQ("", second.error);
  } else {
    EXPECT_EQ(Crlf("Can't open the target file(.\\CONFIG.SYS/Code=5)\n"
                   "Can't open the target file(.\\SYS\\COMMAND.X/Code=5)\n"),
              second.error);
  }
  EXPECT_EQ("FILES = 30\r\n", ReadWhole(Copy(L"CONFIG.SYS")));
}

TEST_F(WindowsEndToEndTest, AspiAddressWithoutHostAdapterCannotBeOpened) {
  // Wine's own wnaspi32.dll loads and finds no SCSI device at 0:3:0.
  Expect(Peek({"0:3:0", "\\"}), 1, "", kCannotOpen);
}

// The test setup attaches LoopImageLayout() read-only as a loop device when it runs as root;
// Wine shows the device node as Z:\dev\loopN, which the NT back end opens as a drive.
TEST(WindowsLoopDeviceTest, LoopDeviceIsReadAsADriveZPath) {
  std::string device = ReadWhole(Wide(WindowsPathOf(PEEK_LOOP_RECORD)));
  while (!device.empty() && (device.back() == '\n' || device.back() == '\r')) device.pop_back();
  // Without one the test fails, saying what is missing, rather than pass unchecked.
  if (device.rfind("/dev/loop", 0) != 0) GTEST_FAIL() << "needs a loop device: " << device;
  const std::string drive = WindowsPathOf(device);
  ScratchFolder scratch("scratch_loop");
  const Outcome listing =
      windowstest::Run(WindowsPathOf(PEEK_PEEKDISK), {drive, "\\"}, scratch.Path());
  EXPECT_EQ(0, listing.status);
  EXPECT_EQ(Crlf(windowstest::LoopImageRootListing()), listing.out);
  EXPECT_EQ("", listing.error);
  const Outcome copy =
      windowstest::Run(WindowsPathOf(PEEK_HAULDISK), {drive, "README.TXT"}, scratch.Path());
  EXPECT_EQ(0, copy.status);
  EXPECT_EQ("", copy.error);
  EXPECT_EQ("loop\n", ReadWhole(Wide(scratch.File("README.TXT"))));
}

}  // namespace
