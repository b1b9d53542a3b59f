#ifndef APP_START_UP_H_
#define APP_START_UP_H_

#include <memory>
#include <vector>

#include "app/console.h"
#include "disk/sector_device.h"
#include "platform/host_text.h"
#include "platform/status_terminal.h"
#include "platform/target_file_system.h"
#include "volume/human_volume.h"

// Which of the two programs runs the frame.
enum class Program { kPeekDisk, kHaulDisk };

// The option settings, all zero before the scan.
struct Options {
  int partitionNumber = 0;     // -pN
  int showPartitionTable = 0;  // -i
  int restoreAttributes = 0;   // -a (hauldisk only)
  int rescue = 0;              // -r: read what can still be read of a failing disk
};

// Takes every argument that begins with '-' out of `argv` (moving the later ones, the
// terminating null included, down) and lowers `*argc` to match; sets `options` from the
// known ones and reports the unknown ones as "No such option(%s)\n" on the error stream.
void ScanOptions(Program program, int* argc, char** argv, Options* options, Console* console);

// The usage text of the program, line by line on the error stream.
void PrintUsage(Program program, Console* console);

// The English usage that --help prints, on standard output: the synopsis, the options and
// the drive forms of the platform the program is built for.
void PrintHelp(Program program, Console* console);

// The partition report of `count` records on standard output.
void PartitionReport(const PartitionInfo* table, int count, Console* console);

// The services the frame runs on. None is owned; all outlive the run.
struct Platform {
  // The disk named by the command line is opened through this device: SetName, Open.
  SectorDevice* disk = nullptr;
  // Where hauldisk writes (unused by peekdisk).
  platform::TargetFileSystem* target = nullptr;
  // The terminal of the error stream, where hauldisk shows the progress of a file that
  // takes long; null: no such line.
  platform::StatusTerminal* terminal = nullptr;
};

// A volume brought up by StartVolume.
struct StartedVolume {
  std::unique_ptr<HumanVolume> volume;
  // False when the FAT of the partition could not be read ("Can't read the FAT of
  // partition N" has been said): path operations then fail as reads do.
  bool mounted = false;
  // Rescue reading: sectors of the FAT that no copy gave ("Can't read part of the FAT of
  // partition N, M clusters unknown." has been said).
  bool fatDamaged = false;
};

// A medium opened and recognized by OpenMedium, its partition table read.
struct OpenedMedium {
  std::unique_ptr<HumanVolume> volume;  // given to the StartedVolume by SelectVolume
  std::vector<PartitionInfo> table;
};

// The first half of StartVolume: opens the drive, recognizes the medium and reads the
// partition table (the report under -i). 0 with the medium in `out`, or 1 after saying
// why the drive cannot be used.
int OpenMedium(const char* drive, const Options& options, Console* console, SectorDevice* disk,
               OpenedMedium* out);

// The second half of StartVolume: selects partition `partitionNumber` of `medium`, whose
// volume moves to `out`. 0, or 1 after saying why it cannot be used.
int SelectVolume(OpenedMedium* medium, int partitionNumber, Console* console, StartedVolume* out);

// The start-up every program shares: opens the drive named `drive` (host text) through
// `disk`, recognizes the medium, reads the partition table (the report under -i), and
// selects partition options.partitionNumber, all with rescue reading as options.rescue
// says.
// Returns 0 with the volume in `out`, or 1 after saying on the error stream why the drive
// cannot be used: it cannot be opened, the medium is not supported, there is no such
// partition or the volume cannot be created. `disk` must outlive the volume.
int StartVolume(const char* drive, const Options& options, Console* console, SectorDevice* disk,
                StartedVolume* out);

// The whole run of one program over `argc`/`argv` (text the Console's argument converter
// reads: the locale's on POSIX, UTF-8 on Windows; the vector is edited by the option
// scan). An argument "--help" or "--version", wherever it stands, is answered first and
// alone (--help before --version) on standard output with status 0. Otherwise returns
// the exit status, 0 when the argument loop ran to its end, 1 after
// the usage text, a drive that cannot be opened, an unsupported medium, a partition
// number outside the table or a volume that cannot be created; under -r, 2 when the loop
// ran to its end but something could not be read.
int RunProgram(Program program, int argc, char** argv, Console* console, const Platform& platform);

#endif  // APP_START_UP_H_
