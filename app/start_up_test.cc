#include "app/start_up.h"

#include <string>
#include <vector>

#include "app/app_test_support.h"
#include "gtest/gtest.h"
#include "tests/fake_target_file_system.h"

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
      {peek, {"peekdisk", "-a", "D", "\\"}, {"peekdisk", "D", "\\"}, 0, 0, 0, "No such option(-a)\n"},
      {peek, {"peekdisk", "-", "D"}, {"peekdisk", "D"}, 0, 0, 0, "No such option(-)\n"},
      {peek, {"peekdisk", "-p", "D"}, {"peekdisk", "D"}, 0, 0, 0, ""},
      {peek, {"peekdisk", "-px", "D"}, {"peekdisk", "D"}, 0, 0, 0, ""},
      {peek, {"peekdisk", "-p 3x", "D"}, {"peekdisk", "D"}, 3, 0, 0, ""},
      {peek, {"peekdisk", "-p", "3", "D"}, {"peekdisk", "3", "D"}, 0, 0, 0, ""},
      {peek, {"peekdisk", "-p-1", "D"}, {"peekdisk", "D"}, -1, 0, 0, ""},
      {peek, {"peekdisk", "-p14", "-p2"}, {"peekdisk"}, 2, 0, 0, ""},
      {peek, {"peekdisk", "-x", "-y", "D"}, {"peekdisk", "D"}, 0, 0, 0,
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

const char kPeekUsage[] =
    "X68K\x83t\x83H\x81[\x83}\x83" "b\x83gMO \x83" "A\x83N\x83Z\x83X\x83" "c\x81[\x83\x8B \x83"
    "e\x83X\x83g\x94\xC5(Win95/WinNT) by rino Sep  7 2002\n"
    "Usage: peekdisk [-pN] [-i] \x83h\x83\x89\x83" "C\x83u\x96\xBC \x83" "f\x83"
    "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\n"
    "Option:-pN     \x83p\x81[\x83" "e\x83" "B\x83V\x83\x87\x83\x93\x94\xD4\x8D\x86\x82\xF0"
    "\x8Ew\x92\xE8\x81" "AN\x82\xCD" "0\x88\xC8\x8F\xE3" "15\x96\xA2\x96\x9E\x82\xCC\x90\xAE"
    "\x90\x94\x82\xF0\x8Ew\x92\xE8\x82\xB7\x82\xE9\x81" "B\n"
    "       -i      \x83p\x81[\x83" "e\x83" "B\x83V\x83\x87\x83\x93\x8F\xEE\x95\xF1\x82\xF0"
    "\x95\\\x8E\xA6\n"
    "Ex. NT\x82\xC5\x82\xCD\x83h\x83\x89\x83" "C\x83u\x96\xBC\x82\xC9\x82\xCD"
    "\\\\.\\PHYSICALDRIVE3\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5"
    "\x82\xDC\x82\xB7\n"
    "    95\x82\xC5\x82\xCD\x83h\x83\x89\x83" "C\x83u\x96\xBC\x82\xC9\x82\xCD" "A:\x81" "AB:"
    "\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5\x82\xDC\x82\xB7\n"
    "    WinASPI32\x82\xF0\x8Eg\x82\xA4\x8E\x9E\x82\xC9\x82\xCD\x83h\x83\x89\x83" "C\x83u\x96\xBC"
    "\x82\xC9\x82\xCD" "0:3:0\x82\xC8\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5"
    "\x82\xDC\x82\xB7\n"
    "    \x83" "f\x83" "B\x83\x8C\x83N\x83g\x83\x8A\x96\xBC\x82\xC9\x82\xCD\\\x82\xE2\\SYS\x82\xC8"
    "\x82\xC7\x82\xCC\x8C`\x8E\xAE\x82\xC5\x8Ew\x92\xE8\x82\xB5\x82\xDC\x82\xB7\n";

// A device whose Open always fails.
class UnopenableDevice final : public SectorDevice {
 public:
  const char* Describe() override { return "Unopenable"; }
  int Open(int) override {
    SetError(DeviceErrorOpen);
    return -1;
  }
  int Close() override { return 0; }
  int Read(void*, unsigned) override { return -1; }
  int Write(const void*, unsigned) override { return -1; }
  int Seek(int, int) override { return -1; }
  int Reserved() override { return -1; }
  int SetName(const char* name) override {
    this->name = name;
    return 0;
  }
  const char* GetName() override { return name.c_str(); }
  std::string name;
};

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
  result.status = RunProgram(program, arguments.Count(), arguments.Vector(), console.get(), services);
  result.out = console.Out();
  result.error = console.Error();
  return result;
}

const char kReport[] =
    "Max Partition= 1\n"
    "Partition Number= 0\n"
    "\tSector\t1024(byte/sector)\n"
    "\tClustor\t1(sector/clustor)\n"
    "\tStart Sector\t32\n"
    "\tPart.Size\t0(sector)\n"
    "\tStart FAT\t1\n"
    "\tFAT Size\t1(sector)\n"
    "\tFAT Number\t2\n"
    "\tStart Root\t3(sector)\n"
    "\tRoot Size\t16384(byte)\n"
    "\n";

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
  UnopenableDevice unopenable;
  FakeSectorDevice blank(std::vector<uint8_t>(65536, 0), 512);
  const std::string usage = kPeekUsage;
  struct Case {
    std::initializer_list<const char*> arguments;
    SectorDevice* device;
    const char* out;
    std::string error;
  };
  const Case cases[] = {
      {{"peekdisk"}, &disk, "", usage},
      {{"peekdisk", "IMG"}, &disk, "", usage},
      {{"peekdisk", "-i", "IMG"}, &disk, "", usage},
      {{"peekdisk", "-a", "IMG"}, &disk, "", "No such option(-a)\n" + usage},
      {{"peekdisk", "IMG", "\\"}, &unopenable, "",
       "\x8Ew\x92\xE8\x82\xCC\x83h\x83\x89\x83" "C\x83u\x82\xCD\x83I\x81[\x83v\x83\x93\x82\xC5"
       "\x82\xAB\x82\xDC\x82\xB9\x82\xF1\n"},
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

TEST_F(RunProgramTest, ListsEveryPathAndEndsWithZeroWhateverThePathsDid) {
  const RunResult result = RunFrame(Program::kPeekDisk, {"peekdisk", "IMG", "\\", "\\NONE", "-I"}, &disk);
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
      RunFrame(Program::kHaulDisk, {"hauldisk", "-a", "IMG", "A.TXT", "\xE6\x97\xA5"}, &disk, &target,
          "UTF-8");
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("Not exist file or directory(\xE6\x97\xA5)\n", result.error);
  EXPECT_EQ("create ./A.TXT\nwrite ./A.TXT 3\nclose ./A.TXT\n"
            "filetimes ./A.TXT 0x246E 0x645C\nattributes ./A.TXT 0x20\n",
            target.LogText());
}

}  // namespace
