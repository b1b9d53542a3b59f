#ifndef APP_PEEKFS_PEEKFS_COMMAND_LINE_H_
#define APP_PEEKFS_PEEKFS_COMMAND_LINE_H_

#include <string>
#include <vector>

// The usage text of peekfs, English, whole lines.
extern const char PeekFsUsage[];

// What a peekfs command line asks for.
struct PeekFsCommand {
  enum Action { kMount, kHelp, kVersion, kWrong, kRefused };
  Action action = kWrong;
  int partitionNumber = 0;                // -pN
  bool foreground = false;                // -f
  bool rescue = false;                    // -r: read what can still be read of a failing disk
  std::vector<std::string> mountOptions;  // each -o's list, in order
  std::string drive;                      // host text, as given
  std::string mountPoint;
  // kWrong: what is wrong with the line; kRefused: what it asks that peekfs will not do.
  // One line without '\n'.
  std::string problem;
};

// Scans `argv` (host text; argv[0] the program). Options may stand anywhere and "--"
// ends them: -pN (N a decimal number, sign allowed), -f, -r (also -R and any argument
// that starts with -r or -R), -o LIST or -oLIST, -h or --help (kHelp, whatever else the
// line holds), --version. Anything else that starts with '-', and a number of other
// arguments other than two (DRIVE, MOUNTPOINT), is kWrong. A mount option list that holds
// the option "rw" (split at commas and unescaped as libfuse reads it) is kRefused with
// "the mount is read-only; -o rw is not allowed". The first problem found is the one kept.
PeekFsCommand ScanPeekFsCommandLine(int argc, const char* const* argv);

#endif  // APP_PEEKFS_PEEKFS_COMMAND_LINE_H_
