#include "platform/host_text.h"
#include "platform/table_host_text.h"
#include "platform/utf8_host_text.h"

namespace platform {

// The page shows and takes UTF-8 whatever the browser's language; the C library has no
// code page 932, so the build's own tables convert.
std::unique_ptr<HostText> NewHostText() { return NewTableHostText(); }

std::unique_ptr<HostText> NewArgumentText() { return NewTableHostText(); }

std::unique_ptr<HostText> NewHostTextFor(const std::string& charset) {
  if (IsUtf8CharsetName(charset)) return NewTableHostText();
  return NewPassThroughText();
}

}  // namespace platform
