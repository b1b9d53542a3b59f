#ifndef PLATFORM_WIN32_UTF8_ARGUMENTS_H_
#define PLATFORM_WIN32_UTF8_ARGUMENTS_H_

// The command line of a Windows program, as UTF-8. Windows only; needs no <windows.h>.

#include <string>
#include <vector>

namespace platform {

// The UTF-16 arguments that `wmain` receives, as UTF-8 strings in the form `main` takes
// them. UTF-16 holds every character whatever the system's code page, and UTF-8 keeps
// them all (an unpaired surrogate, which is no character, becomes U+FFFD).
class Utf8Arguments {
 public:
  Utf8Arguments(int argc, wchar_t** argv);
  Utf8Arguments(const Utf8Arguments&) = delete;
  Utf8Arguments& operator=(const Utf8Arguments&) = delete;

  int Count() const { return static_cast<int>(texts.size()); }
  // Count() strings and a null pointer, owned by this object and valid while it lives;
  // the caller may reorder the pointers (the option scan does).
  char** Vector() { return pointers.data(); }

 private:
  std::vector<std::string> texts;
  std::vector<char*> pointers;
};

}  // namespace platform

#endif  // PLATFORM_WIN32_UTF8_ARGUMENTS_H_
