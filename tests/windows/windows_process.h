#ifndef TESTS_WINDOWS_WINDOWS_PROCESS_H_
#define TESTS_WINDOWS_WINDOWS_PROCESS_H_

// Helpers of the Windows end-to-end tests: running a program with its output captured,
// and the scratch folders the runs work in. Windows only.

#include <cstdint>
#include <string>
#include <vector>

namespace windowstest {

struct Outcome {
  int status = -1;
  std::string out;    // the bytes written to standard output, as written
  std::string error;  // the bytes written to standard error
};

// Runs `program` with `arguments` (quoted as the C runtime parses them) in the folder
// `directory`, standard input empty, and waits for it to end. All are UTF-8 and reach the
// program as UTF-16 (CreateProcessW), whatever the ANSI code page.
Outcome Run(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& directory);

// UTF-8 text as UTF-16.
std::wstring Widen(const std::string& text);

// A Linux path as Wine's drive Z: shows it ("/a/b" -> "Z:\a\b").
std::string WindowsPathOf(const std::string& unixPath);

// A fresh folder below the current directory, removed with everything in it (read-only,
// hidden and system files too) when destroyed.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // "Z:\...\name", without a trailing separator.
  const std::string& Path() const { return path; }
  std::string File(const std::string& relative) const { return path + "\\" + relative; }

 private:
  std::string path;
};

// A UTC clock reading as a file time: one count of 100 ns ticks.
uint64_t UtcTicks(int year, int month, int day, int hour, int minute, int second);

// The whole content of a file, or "<missing>" when it cannot be read.
std::string ReadWhole(const std::wstring& path);

}  // namespace windowstest

#endif  // TESTS_WINDOWS_WINDOWS_PROCESS_H_
