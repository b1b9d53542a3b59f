// hauldisk: copies files and directory trees off an X68000 disk or image into the
// current directory.
#include <cstdio>

#include "app/console.h"
#include "app/start_up.h"
#include "disk/physical_disk.h"
#include "platform/host_text.h"
#include "platform/target_file_system.h"

int main(int argc, char** argv) {
  platform::KeepRunningPastFileSizeLimit();
  auto text = platform::NewHostText();
  auto target = platform::NewTargetFileSystem();
  auto drives = platform::NewSystemRawDriveService();
  auto aspi = platform::NewSystemAspiLibrary();
  auto vwin32 = platform::NewSystemVwin32Service();
  auto family = platform::NewSystemPlatformFamilyQuery();
  PhysicalDisk disk(drives.get(), aspi.get(), vwin32.get(), family.get());
  Console console(stdout, stderr, text.get());
  Platform services;
  services.disk = &disk;
  services.target = target.get();
  return RunProgram(Program::kHaulDisk, argc, argv, &console, services);
}
