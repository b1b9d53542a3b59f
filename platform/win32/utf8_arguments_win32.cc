#include "platform/win32/utf8_arguments.h"
#include "platform/win32/win32_support.h"

namespace platform {

Utf8Arguments::Utf8Arguments(int argc, wchar_t** argv) {
  for (int index = 0; index < argc; ++index) {
    const std::wstring_view wide(argv[index]);
    std::string text;
    const int length = static_cast<int>(wide.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed > 0) {
      text.resize(static_cast<size_t>(needed));
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &text[0], needed, nullptr, nullptr);
    }
    texts.push_back(std::move(text));
  }
  for (std::string& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
}

}  // namespace platform
