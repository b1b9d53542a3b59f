#ifndef PLATFORM_HOST_TEXT_H_
#define PLATFORM_HOST_TEXT_H_

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Converts between the text of the disks (code page 932 bytes) and the host's own text:
// what the console shows, what command-line arguments hold and what host file names are
// made of.
//
// When the host's character set is code page 932 itself, or one this converter does not
// know (C, POSIX), both directions pass bytes unchanged. When it is UTF-8, disk text is
// converted, and every byte that has no exact round trip is written as %XX (two capital
// hex digits); a '%' that is followed by two hex digits is written %25, so ToDisk undoes
// FromDisk exactly for every byte string.
class HostText {
 public:
  HostText() = default;
  HostText(const HostText&) = delete;
  HostText& operator=(const HostText&) = delete;
  virtual ~HostText() = default;

  // True when the two directions convert; false when bytes pass unchanged.
  virtual bool Converts() const = 0;
  // Code page 932 text -> host text. Never fails; unconvertible bytes are escaped.
  virtual std::string FromDisk(std::string_view diskText) const = 0;
  // Host text -> code page 932 text. %XX escapes become the byte XX; host characters
  // that code page 932 cannot hold keep their host bytes (they match no name on a disk).
  virtual std::string ToDisk(std::string_view hostText) const = 0;
};

// The converter for the process's locale. On POSIX this sets the locale from the
// environment (setlocale(LC_ALL, "")) and converts when its character set is UTF-8. The
// web build always converts: the page's text is UTF-8.
std::unique_ptr<HostText> NewHostText();

// The converter for the command-line arguments as the programs hand them to RunProgram.
// On POSIX that of NewHostText(). Windows programs take their arguments as UTF-16 and
// hand them on as UTF-8, whatever the system's code page: the UTF-8 converter.
std::unique_ptr<HostText> NewArgumentText();

// A converter for the named host character set ("UTF-8" converts, anything else passes
// bytes unchanged), whatever the process's locale. For tests and tools.
std::unique_ptr<HostText> NewHostTextFor(const std::string& charset);

}  // namespace platform

#endif  // PLATFORM_HOST_TEXT_H_
