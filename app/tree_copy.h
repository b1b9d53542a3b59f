#ifndef APP_TREE_COPY_H_
#define APP_TREE_COPY_H_

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "app/console.h"
#include "app/listing.h"
#include "app/progress_line.h"
#include "platform/target_file_system.h"
#include "volume/human_volume.h"

// Size of the one buffer every file is moved through.
constexpr uint32_t CopyBufferSize = 0x100000;
// Longest target path (and source file path) a copy makes, in code page 932 bytes.
constexpr size_t CopyPathLimit = 255;
// Size of the buffers that hold the volume's current directory text; a text that fills
// CurrentDirLimit bytes or more is refused.
constexpr int CurrentDirBufferSize = 1024;
constexpr int CurrentDirLimit = 1023;

// What one run of hauldisk copies with. The volume, the console, the target file system
// and the terminal are not owned and must outlive the context. With a terminal (that of
// the error stream) a file that takes long shows its progress there.
struct CopyContext {
  CopyContext(HumanVolume* volume, Console* console, platform::TargetFileSystem* target,
              bool restoreAttributes, platform::StatusTerminal* terminal = nullptr)
      : volume(volume),
        console(console),
        target(target),
        restoreAttributes(restoreAttributes),
        buffer(new uint8_t[CopyBufferSize]),
        progress(console, terminal) {}

  HumanVolume* volume;
  Console* console;
  platform::TargetFileSystem* target;
  bool restoreAttributes;
  std::unique_ptr<uint8_t[]> buffer;
  ProgressLine progress;
  // What could not be read, and (rescue reading) the files copied.
  DamageTally tally;
  // First clusters of the directories copied for the current argument: a damaged or
  // hostile disk can link a directory into itself or into two places, and copying such
  // a graph as a tree would never end.
  std::set<uint16_t> copiedDirectories;
};

// Copies one path argument (code page 932) into the target's current directory: a file
// argument as one file, a directory argument as its whole content.
void CopyArgument(CopyContext* context, const char* argument);

// Copies the file `sourceDirectory`\`name` of the volume to `targetDirectory`/`name`,
// restoring attributes and times under -a. Every failure is reported on the error
// stream; the result is 0.
int CopyOneFile(CopyContext* context, const std::string& targetDirectory,
                const std::string& sourceDirectory, const char* name);

// Makes the directory `parent`/`name` on the target. An existing directory is used as
// it is; a failure shows up as failures of the copies into it. Result 0.
int MakeTargetDirectory(CopyContext* context, const std::string& parent, const char* name);

// What a tree copy does with one entry of a directory it copies into `targetDirectory`.
enum class CopyStep { kSkip, kDirectory, kFile };

// The step for `entry`: volume labels, links, "." and "..", names unsafe on the host,
// target paths past CopyPathLimit and directories copied before are skipped, each but the
// first three said on the error stream as hauldisk says it. A directory to copy is added
// to `copiedDirectories`. For a directory or a file, *target is its path on the target.
CopyStep NextCopyStep(const FindResult& entry, const std::string& targetDirectory,
                      std::set<uint16_t>* copiedDirectories, Console* console, std::string* target);

// Lists the volume directory `sourcePath` (relative to the current directory, or
// absolute) under a "[path]" header and copies its files and subdirectories into
// `targetDirectory`, recursively. The volume's current directory is the same on return.
// Result 0.
int CopyTree(CopyContext* context, const std::string& targetDirectory, const char* sourcePath);

#endif  // APP_TREE_COPY_H_
