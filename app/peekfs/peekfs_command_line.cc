#include "app/peekfs/peekfs_command_line.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

const char PeekFsUsage[] =
    "Usage: peekfs [-pN] [-f] [-r] [-o OPTION[,OPTION...]] DRIVE MOUNTPOINT\n"
    "Mounts partition N (default 0) of an X68000 disk or image read-only at MOUNTPOINT.\n"
    "DRIVE is what peekdisk takes: an image file, a block device or a SCSI address H:T:L.\n"
    "  -pN         the partition (peekdisk -i lists them)\n"
    "  -f          stay in the foreground; otherwise peekfs returns once the mount is up\n"
    "  -r          rescue: read around bad sectors, zeros for what cannot be read\n"
    "  -o OPTIONS  FUSE mount options, such as allow_other\n"
    "  -h, --help  this text\n"
    "  --version   the version of peekfs\n"
    "Unmount with: fusermount3 -u MOUNTPOINT\n";

namespace {

// A whole decimal number of int range with an optional sign.
bool ParseNumber(const char* text, int* out) {
  if (*text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX) return false;
  // strtol skips leading blanks; a number here is only sign and digits.
  if (text[0] == ' ' || text[0] == '\t') return false;
  *out = static_cast<int>(value);
  return true;
}

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// True when the comma-separated mount option `list` holds the option "rw". libfuse reads
// a backslash as taking the next character as it is, or three octal digits (the first
// 0 to 3) as one byte, so r\w and \162w are rw too.
bool AsksReadWrite(const std::string& list) {
  std::string option;
  for (size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ',') {
      if (option == "rw") return true;
      option.clear();
    } else if (list[i] == '\\' && i + 1 < list.size()) {
      const char* next = list.c_str() + i + 1;
      if (next[0] >= '0' && next[0] <= '3' && IsOctalDigit(next[1]) && IsOctalDigit(next[2])) {
        option.push_back(
            static_cast<char>((next[0] - '0') * 64 + (next[1] - '0') * 8 + next[2] - '0'));
        i += 3;
      } else {
        option.push_back(next[0]);
        i += 1;
      }
    } else {
      option.push_back(list[i]);
    }
  }
  return false;
}

}  // namespace

PeekFsCommand ScanPeekFsCommandLine(int argc, const char* const* argv) {
  PeekFsCommand command;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  bool help = false;
  bool version = false;
  std::string problem;   // the first thing wrong
  bool refused = false;  // the problem is a request peekfs will not serve
  for (int index = 1; index < argc; ++index) {
    const char* argument = argv[index];
    if (optionsEnded || argument[0] != '-') {
      operands.push_back(argument);
    } else if (std::strcmp(argument, "--") == 0) {
      optionsEnded = true;
    } else if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0) {
      help = true;
    } else if (std::strcmp(argument, "--version") == 0) {
      version = true;
    } else if (std::strcmp(argument, "-f") == 0) {
      command.foreground = true;
    } else if (argument[1] == 'r' || argument[1] == 'R') {
      // As peekdisk and hauldisk take it: -r, -R, or any word that starts so.
      command.rescue = true;
    } else if (argument[1] == 'p') {
      if (!ParseNumber(argument + 2, &command.partitionNumber) && problem.empty()) {
        problem = std::string("not a partition number: ") + argument;
      }
    } else if (argument[1] == 'o') {
      const char* list = argument[2] != '\0' ? argument + 2 : nullptr;
      if (list == nullptr && index + 1 < argc) list = argv[++index];
      if (list != nullptr && list[0] != '\0') {
        command.mountOptions.push_back(list);
        if (AsksReadWrite(list) && problem.empty()) {
          problem = "the mount is read-only; -o rw is not allowed";
          refused = true;
        }
      } else if (problem.empty()) {
        problem = "-o needs a list of mount options";
      }
    } else if (problem.empty()) {
      problem = std::string("no such option: ") + argument;
    }
  }
  if (problem.empty() && operands.size() != 2) problem = "give a DRIVE and a MOUNTPOINT";
  if (help) {
    command.action = PeekFsCommand::kHelp;
  } else if (version) {
    command.action = PeekFsCommand::kVersion;
  } else if (!problem.empty()) {
    command.action = refused ? PeekFsCommand::kRefused : PeekFsCommand::kWrong;
    command.problem = problem;
  } else {
    command.action = PeekFsCommand::kMount;
    command.drive = operands[0];
    command.mountPoint = operands[1];
  }
  return command;
}
