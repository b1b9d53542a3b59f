#include "volume/entry_names.h"

#include "volume/shift_jis.h"

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

bool IsUnsafeName(const char* name, bool isFile) {
  if (name[0] == '\0') return true;
  if (isFile && IsDotName(name)) return true;
  for (const char* next = name; *next != '\0'; next += ShiftJisCharLength(next)) {
    // A trail byte is never 0x2F, so any '/' byte is a separator.
    if (*next == '/') return true;
#if defined(_WIN32)
    if (*next == '\\' || *next == ':') return true;
#endif
  }
  return false;
}
