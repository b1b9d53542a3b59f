// peekfs: mounts a partition of an X68000 disk or image read-only through FUSE.
#include <cstdio>

#include "app/console.h"
#include "app/listing.h"
#include "app/peekfs/peek_fs.h"
#include "app/peekfs/peekfs_command_line.h"
#include "app/start_up.h"
#include "disk/physical_disk.h"
#include "platform/fuse_mount.h"
#include "platform/host_text.h"

int main(int argc, char** argv) {
  auto text = platform::NewHostText();
  Console console(stdout, stderr, text.get());
  const PeekFsCommand command = ScanPeekFsCommandLine(argc, argv);
  switch (command.action) {
    case PeekFsCommand::kHelp:
      console.OutText(PeekFsUsage);
      return 0;
    case PeekFsCommand::kVersion:
      console.Out("peekfs %s\n", PEEK_VERSION);
      return 0;
    case PeekFsCommand::kWrong:
      console.Error("peekfs: %s\n", console.ArgumentText(command.problem).c_str());
      console.ErrorText(PeekFsUsage);
      return 1;
    case PeekFsCommand::kRefused:
      // The line is well formed: the usage would not say what to change.
      console.Error("peekfs: %s\n", console.ArgumentText(command.problem).c_str());
      return 1;
    case PeekFsCommand::kMount:
      break;
  }

  auto drives = platform::NewSystemRawDriveService();
  auto aspi = platform::NewSystemAspiLibrary();
  auto vwin32 = platform::NewSystemVwin32Service();
  auto family = platform::NewSystemPlatformFamilyQuery();
  PhysicalDisk disk(drives.get(), aspi.get(), vwin32.get(), family.get());
  Options options;
  options.partitionNumber = command.partitionNumber;
  options.rescue = command.rescue ? 1 : 0;
  StartedVolume started;
  if (StartVolume(command.drive.c_str(), options, &console, &disk, &started) != 0) return 1;
  // Without its FAT the partition has nothing to show; StartVolume has said so.
  if (!started.mounted) return 1;
  // A root that cannot be read leaves a mount whose own stat fails: it is refused, as
  // peekdisk says it. Damage short of that, under -r, is said and the mount goes on.
  const bool rootRead = started.volume->ChangeDir("\\") == 1;
  ReportDamage(started.volume.get(), &console, nullptr);
  if (!rootRead) return 1;

  PeekFs fileSystem(started.volume.get(), text.get(), platform::SayToMountUser);
  platform::FuseMountRequest request;
  request.programName = argv[0];
  request.sourceName = command.drive;
  request.mountPoint = command.mountPoint;
  request.options = command.mountOptions;
  request.foreground = command.foreground;
  std::fflush(stdout);
  std::fflush(stderr);
  return platform::ServeFuseMount(&fileSystem, request);
}
