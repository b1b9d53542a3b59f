#include "platform/win32/win32_support.h"

#include <climits>

namespace platform {
namespace win32 {

namespace {

// MB_ERR_INVALID_CHARS: a byte sequence that is no character fails instead of turning into
// a default character that might name another file.
bool MultiByteToWide(UINT codePage, std::string_view text, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  const int length = static_cast<int>(text.size());
  const int needed =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  wide->resize(static_cast<size_t>(needed));
  const int done =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), length, &(*wide)[0], needed);
  if (done != needed) return false;
  return true;
}

}  // namespace

bool Cp932ToWide(std::string_view text, std::wstring* wide) {
  return MultiByteToWide(kCodePage932, text, wide);
}

bool Utf8ToWide(std::string_view text, std::wstring* wide) {
  return MultiByteToWide(CP_UTF8, text, wide);
}

bool WideToCp932(std::wstring_view wide, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  if (wide.size() > static_cast<size_t>(INT_MAX)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  const int length = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  const int needed = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                         nullptr, 0, nullptr, &defaulted);
  if (needed <= 0 || defaulted) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  text->resize(static_cast<size_t>(needed));
  const int done = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(), length,
                                       &(*text)[0], needed, nullptr, &defaulted);
  if (done != needed || defaulted) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  return true;
}

}  // namespace win32
}  // namespace platform
