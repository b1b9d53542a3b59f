#include "app/system_program.h"

#include <cstdio>
#include <memory>

#include "app/console.h"
#include "disk/physical_disk.h"
#include "platform/console_window.h"
#include "platform/host_text.h"
#include "platform/status_terminal.h"
#include "platform/target_file_system.h"

int RunSystemProgram(Program program, int argc, char** argv) {
  const bool copies = program == Program::kHaulDisk;
  // A copy that reaches the file size limit says so and goes on with the next file.
  if (copies) platform::KeepRunningPastFileSizeLimit();
  auto text = platform::NewHostText();
  auto arguments = platform::NewArgumentText();
  auto outWindow = platform::NewStandardConsoleWindow(platform::StandardStream::kOutput);
  auto errorWindow = platform::NewStandardConsoleWindow(platform::StandardStream::kError);
  std::unique_ptr<platform::TargetFileSystem> target;
  std::unique_ptr<platform::StatusTerminal> terminal;
  if (copies) {
    target = platform::NewTargetFileSystem();
    terminal = platform::NewErrorStatusTerminal();
  }
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
  services.terminal = terminal.get();
  return RunProgram(program, argc, argv, &console, services);
}
