#include "app/start_up.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/app_test_support.h"
#include "tests/fake_target_file_system.h"
#include "tests/program_texts.h"

namespace {

using imagebuilder::DosDate;
using imagebuilder::DosTime;
using imagebuilder::File;

// An argument vector the frame can edit, with its terminating null.
class Arguments {
 public:
  Arguments(std::initializer_list<const char*> list) : texts(list.begin(), list.end()) {
    for (std::string& text : texts) pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
  }
  int Count() const { return static_cast<int>(texts.size()); }
  char** Vector() { return pointers.data(); }
  std::vector<std::string> Remaining(int count) const {
    std::vector<std::string> remaining;
    for (int i = 0; i < count; ++i) remaining.push_back(pointers[i]);
    return remaining;
  }
  const char* At(int index) const { return pointers[index]; }

 private:
  std::vector<std::string> texts;
  std::vector<char*> pointers;
};

struct ScanCase {
  Program program;
  std::initializer_list<const char*> arguments;
  std::vector<std::string> remaining;
  int partition, table, restore;
  const char* error;
};

TEST(ScanOptionsTest, RemovesEveryOptionAndSetsTheKnownOnes) {
  const Program haul = Program::kHaulDisk;
  const Program peek = Program::kPeekDisk;
  const ScanCase cases[] = {
      {haul, {"hauldisk"}, {"hauldisk"}, 0, 0, 0, ""},
      {haul, {"hauldisk", "-A", "-I", "-P1", "D", "\\"}, {"hauldisk", "D", "\\"}, 1, 1, 1, ""},
      {haul, {"hauldisk", "D", "-ax", "\\", "-i"}, {"hauldisk", "D", "\\"}, 0, 1, 1, ""},
      {peek,
       {"peekdisk", "-a", "D", "\\"},
       {"peekdisk", "D", "\\"},
       0,
       0,
       0,
       "No such option(-a)\n"},
      {peek, {"peekdisk", "-", "D"}, {"peekdisk", "D"}, 0, 0, 0, "No such option(-)\n"},
      {peek, {"peekdisk", "-p", "D"}, {"peekdisk", "D"}, 0, 0, 0, ""},
      {peek, {"peekdisk", "-px", "D"}, {"peekdisk", "D"}, 0, 0, 0, ""},
      {peek, {"peekdisk", "-p 3x", "D"}, {"peekdisk", "D"}, 3, 0, 0, ""},
      {peek, {"peekdisk", "-p", "3", "D"}, {"peekdisk", "3", "D"}, 0, 0, 0, ""},
      {peek, {"peekdisk", "-p-1", "D"}, {"peekdisk", "D"}, -1, 0, 0, ""},
      {peek, {"peekdisk", "-p14", "-p2"}, {"peekdisk"}, 2, 0, 0, ""},
      {peek,
       {"peekdisk", "-x", "-y", "D"},
       {"peekdisk", "D"},
       0,
       0,
       0,
       "No such option(-x)\nNo such option(-y)\n"},
  };
  for (const ScanCase& c : cases) {
    Arguments arguments(c.arguments);
    SCOPED_TRACE(arguments.Count() > 1 ? arguments.At(1) : "(none)");
    int count = arguments.Count();
    Options options;
    CapturedConsole console;
    ScanOptions(c.program, &count, arguments.Vector(), &options, console.get());
    EXPECT_EQ(c.remaining, arguments.Remaining(count));
    EXPECT_EQ(nullptr, arguments.At(count));
    EXPECT_EQ(c.partition, options.partitionNumber);
    EXPECT_EQ(c.table, options.showPartitionTable);
    EXPECT_EQ(c.restore, options.restoreAttributes);
    EXPECT_EQ(c.error, console.Error());
  }
}

struct RunResult {
  int status;
  std::string out;
  std::string error;
};

RunResult RunFrame(Program program, std::initializer_list<const char*> list, SectorDevice* disk,
                   FakeTargetFileSystem* target = nullptr, const std::string& charset = "C") {
  Arguments arguments(list);
  CapturedConsole console(charset);
  Platform services;
  services.disk = disk;
  services.target = target;
  RunResult result;
  result.status =
      RunProgram(program, arguments.Count(), arguments.Vector(), console.get(), services);
  result.out = console.Out();
  result.error = console.Error();
  return result;
}

const std::string kReport = "Max Partition= 1\n" + programtexts::ReportPartition(0, 32);

class RunProgramTest : public testing::Test {
 protected:
  RunProgramTest()
      : image(imagebuilder::BuildX68k(OnePartition(
            {Stamped(File("A.TXT", "abc"), DosDate(1998, 3, 14), DosTime(12, 34, 56))}))),
        disk(image.bytes, 512) {}
  imagebuilder::Image image;
  FakeSectorDevice disk;
};

TEST_F(RunProgramTest, StartUpFailuresEndWithStatusOne) {
  FakeSectorDevice unopenable({});
  unopenable.FailOpen(true);
  FakeSectorDevice blank(std::vector<uint8_t>(65536, 0), 512);
  const std::string usage = programtexts::PeekUsage();
  struct Case {
    std::initializer_list<const char*> arguments;
    SectorDevice* device;
    std::string out;
    std::string error;
  };
  const Case cases[] = {
      {{"peekdisk"}, &disk, "", usage},
      {{"peekdisk", "IMG"}, &disk, "", usage},
      {{"peekdisk", "-i", "IMG"}, &disk, "", usage},
      {{"peekdisk", "-a", "IMG"}, &disk, "", "No such option(-a)\n" + usage},
      {{"peekdisk", "IMG", "\\"}, &unopenable, "", programtexts::kCannotOpen},
      {{"peekdisk", "IMG", "\\"}, &blank, "", "Not Supported Media\n"},
      {{"peekdisk", "-p1", "IMG", "\\"}, &disk, "", "No Such Partition(1)\n"},
      {{"peekdisk", "IMG", "\\", "-p-1", "-i"}, &disk, kReport, "No Such Partition(-1)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    const RunResult result = RunFrame(Program::kPeekDisk, c.arguments, c.device);
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(c.out, result.out);
    EXPECT_EQ(c.error, result.error);
  }
}

TEST_F(RunProgramTest, HelpAndVersionAreAnsweredBeforeAnythingElse) {
  FakeSectorDevice unopenable({});  // the drive is never opened
  unopenable.FailOpen(true);
  // An aggregate, so that the argument lists live as long as the table.
  const struct {
    Program program;
    std::initializer_list<const char*> arguments;
  } runs[] = {{Program::kPeekDisk, {"peekdisk", "-x", "IMG", "--version", "\\", "--help"}},
              {Program::kHaulDisk, {"hauldisk", "IMG", "--version", "-p9"}}};
  std::string outcomes;  // status, standard output, standard error of each run
  for (const auto& run : runs) {
    const RunResult result = RunFrame(run.program, run.arguments, &unopenable);
    outcomes += std::to_string(result.status) + "\n" + result.out + result.error;
  }
  EXPECT_EQ("0\n" + std::string(programtexts::kPeekHelp) + "0\nhauldisk 1.1.0\n", outcomes);
}

TEST_F(RunProgramTest, ListsEveryPathAndEndsWithZeroWhateverThePathsDid) {
  const RunResult result =
      RunFrame(Program::kPeekDisk, {"peekdisk", "IMG", "\\", "\\NONE", "-I"}, &disk);
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(std::string(kReport) +
                "                  A.TXT        3  1998/03/14(\x93\x79) 12:34:56\n"
                "\n"
                "\n",
            result.out);
  EXPECT_EQ("", result.error);
}

TEST_F(RunProgramTest, HaulDiskCopiesEachArgumentAndTakesUtf8Paths) {
  FakeTargetFileSystem target;
  const RunResult result =
      RunFrame(Program::kHaulDisk, {"hauldisk", "-a", "IMG", "A.TXT", "\xE6\x97\xA5"}, &disk,
               &target, "UTF-8");
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("Not exist file or directory(\xE6\x97\xA5)\n", result.error);
  EXPECT_EQ(
      "create ./A.TXT\nwrite ./A.TXT 3\nclose ./A.TXT\n"
      "filetimes ./A.TXT 0x246E 0x645C\nattributes ./A.TXT 0x20\n",
      target.LogText());
}

// What damaged files do to hauldisk is checked end to end on real I/O errors; here the
// FAT and the root, through the frame.
TEST_F(RunProgramTest, SaysWhatCannotBeReadAndUnderRescueCountsIt) {
  const imagebuilder::PartitionPlacement& placed = image.partitions[0];
  const int64_t fat = static_cast<int64_t>(placed.fatOffset / 512);
  const int64_t root = static_cast<int64_t>(placed.rootOffset / 512);
  const std::string line = "                  A.TXT        3  1998/03/14(\x93\x79) 12:34:56\n\n";
  // An aggregate, so that the argument lists live as long as the table.
  const struct {
    std::initializer_list<const char*> arguments;
    std::vector<int64_t> bad;
    int status;
    std::string out;
    std::string error;
  } cases[] = {
      {{"peekdisk", "IMG", "\\"}, {fat}, 0, line, ""},
      {{"peekdisk", "IMG", "\\"},
       {fat, fat + placed.fatBytes / 512},
       0,
       "",
       "Can't read the FAT of partition 0\n"},
      {{"peekdisk", "-r", "IMG", "\\"},
       {fat, fat + placed.fatBytes / 512},
       2,
       line,
       "Can't read part of the FAT of partition 0, 254 clusters unknown.\n"},
      {{"peekdisk", "IMG", "\\"}, {root}, 0, "\n", "Can't read the directory(\\)\n"},
      {{"peekdisk", "-R", "IMG", "\\"},
       {root},
       2,
       "\n",
       "Can't read part of the directory(\\), 16 entries lost.\n"},
      {{"hauldisk", "IMG", "/"}, {root}, 0, "", "Can't read the directory(\\)\n"},
      {{"hauldisk", "-r", "IMG", "A.TXT"},
       {},
       0,
       "",
       "1 files copied, 0 damaged, 0 bytes unreadable.\n"},
  };
  for (const auto& [arguments, bad, status, out, error] : cases) {
    FakeSectorDevice damaged(image.bytes, 512);
    for (int64_t sector : bad) damaged.FailSectors(sector, 1);
    FakeTargetFileSystem target;
    const bool peek = std::string(*arguments.begin()) == "peekdisk";
    const RunResult result =
        RunFrame(peek ? Program::kPeekDisk : Program::kHaulDisk, arguments, &damaged, &target);
    EXPECT_EQ(status, result.status) << error;
    EXPECT_EQ(out, result.out) << error;
    EXPECT_EQ(error, result.error);
  }
}

}  // namespace
