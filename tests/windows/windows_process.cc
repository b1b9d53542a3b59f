#include "tests/windows/windows_process.h"

#include <memory>
#include <string>

#include "platform/win32/win32_support.h"

namespace windowstest {
namespace {

// The quoting the C runtime's argument parser undoes: backslashes count only before a
// quote.
std::string Quote(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

struct HandleCloser {
  void operator()(void* handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
  HANDLE handle = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
}

}  // namespace

std::wstring Widen(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         &wide[0], static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return wide;
}

Outcome Run(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& directory) {
  Outcome outcome;
  // The captured streams go to files beside the test program, outside the run's folder.
  static int runs = 0;
  char current[MAX_PATH];
  const DWORD currentLength = GetCurrentDirectoryA(MAX_PATH, current);
  const std::string stem = std::string(current, currentLength) + "\\run" +
                           std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++runs);
  const std::string outPath = stem + ".out";
  const std::string errorPath = stem + ".err";
  {
    Handle input = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    Handle out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    Handle error = InheritableFile(errorPath, GENERIC_WRITE, CREATE_ALWAYS);
    if (!input || !out || !error) return outcome;

    std::string commandLine = Quote(program);
    for (const std::string& argument : arguments) commandLine += " " + Quote(argument);
    std::wstring wideCommandLine = Widen(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = out.get();
    startup.hStdError = error.get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(Widen(program).c_str(), &wideCommandLine[0], nullptr, nullptr, TRUE, 0,
                        nullptr, Widen(directory).c_str(), &startup, &process)) {
      return outcome;
    }
    Handle thread(process.hThread);
    Handle child(process.hProcess);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(child.get(), &status);
    outcome.status = static_cast<int>(status);
  }
  outcome.out = ReadWhole(Widen(outPath));
  outcome.error = ReadWhole(Widen(errorPath));
  DeleteFileA(outPath.c_str());
  DeleteFileA(errorPath.c_str());
  return outcome;
}

std::string WindowsPathOf(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

ScratchFolder::ScratchFolder(const std::string& name) {
  char current[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
  // Each test runs as a process of its own and several run at once: the process id keeps
  // their folders apart.
  path = std::string(current, length) + "\\" + name + "_" + std::to_string(GetCurrentProcessId());
  RemoveTree(Widen(path));
  CreateDirectoryA(path.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { RemoveTree(Widen(path)); }

uint64_t UtcTicks(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME fields{};
  fields.wYear = static_cast<WORD>(year);
  fields.wMonth = static_cast<WORD>(month);
  fields.wDay = static_cast<WORD>(day);
  fields.wHour = static_cast<WORD>(hour);
  fields.wMinute = static_cast<WORD>(minute);
  fields.wSecond = static_cast<WORD>(second);
  FILETIME time{};
  SystemTimeToFileTime(&fields, &time);
  return static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::string ReadWhole(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string contents;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    contents.append(buffer, got);
  }
  CloseHandle(file);
  return contents;
}

}  // namespace windowstest
