// hauldisk: copies files and directory trees off an X68000 disk or image into the
// current directory.
#include <cstdio>

#include "app/console.h"
#include "app/start_up.h"
#include "disk/physical_disk.h"
#include "platform/console_window.h"
#include "platform/host_text.h"
#include "platform/target_file_system.h"
#ifdef _WIN32
#include "platform/win32/utf8_arguments.h"
#endif

namespace {

int Run(int argc, char** argv) {
  platform::KeepRunningPastFileSizeLimit();
  auto text = platform::NewHostText();
  auto arguments = platform::NewArgumentText();
  auto outWindow = platform::NewStandardConsoleWindow(platform::StandardStream::kOutput);
  auto errorWindow = platform::NewStandardConsoleWindow(platform::StandardStream::kError);
  auto target = platform::NewTargetFileSystem();
  auto drives = platform::NewSystemRawDriveService();
  auto aspi = platform::NewSystemAspiLibrary();
  auto vwin32 = platform::NewSystemVwin32Service();
  auto family = platform::NewSystemPlatformFamilyQuery();
  PhysicalDisk disk(drives.get(), aspi.get(), vwin32.get(), family.get());
  Console console(
      {stdout, stderr, text.get(), arguments.get(), outWindow.get(), errorWindow.get()});
  Platform services;
  services.disk = &disk;
  services.target = target.get();
  return RunProgram(Program::kHaulDisk, argc, argv, &console, services);
}

}  // namespace

#ifdef _WIN32
// The arguments come as UTF-16 (-municode), which holds every character whatever the
// system's code page, and go on as UTF-8.
int wmain(int argc, wchar_t** argv) {
  platform::Utf8Arguments arguments(argc, argv);
  return Run(arguments.Count(), arguments.Vector());
}
#else
int main(int argc, char** argv) { return Run(argc, argv); }
#endif
