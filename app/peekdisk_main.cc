// peekdisk: lists directories of an X68000 disk or image.
#include <cstdio>

#include "app/console.h"
#include "app/start_up.h"
#include "disk/physical_disk.h"
#include "platform/host_text.h"

int main(int argc, char** argv) {
  auto text = platform::NewHostText();
  auto drives = platform::NewSystemRawDriveService();
  auto aspi = platform::NewSystemAspiLibrary();
  auto vwin32 = platform::NewSystemVwin32Service();
  auto family = platform::NewSystemPlatformFamilyQuery();
  PhysicalDisk disk(drives.get(), aspi.get(), vwin32.get(), family.get());
  Console console(stdout, stderr, text.get());
  Platform services;
  services.disk = &disk;
  return RunProgram(Program::kPeekDisk, argc, argv, &console, services);
}
