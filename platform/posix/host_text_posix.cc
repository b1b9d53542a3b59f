#include <iconv.h>
#include <langinfo.h>

#include <clocale>
#include <cstring>

#include "platform/host_text.h"
#include "platform/utf8_host_text.h"

namespace platform {
namespace {

// One iconv descriptor, reset before each use so no shift state carries over.
class Converter {
 public:
  Converter(const char* to, const char* from) : descriptor(iconv_open(to, from)) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (Valid()) iconv_close(descriptor);
  }
  bool Valid() const { return descriptor != reinterpret_cast<iconv_t>(-1); }

  // Converts one whole character; false when iconv refuses any part of it.
  bool Convert(std::string_view in, std::string* out) {
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    char source[8];
    char target[16];
    if (in.size() > sizeof(source)) return false;
    std::memcpy(source, in.data(), in.size());
    char* inPointer = source;
    size_t inLeft = in.size();
    char* outPointer = target;
    size_t outLeft = sizeof(target);
    if (iconv(descriptor, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) ||
        inLeft != 0) {
      return false;
    }
    out->assign(target, outPointer);
    return true;
  }

 private:
  iconv_t descriptor;
};

class IconvText final : public Utf8HostText {
 public:
  IconvText() : toUtf8("UTF-8", "CP932"), toDisk("CP932", "UTF-8") {}
  bool Valid() const { return toUtf8.Valid() && toDisk.Valid(); }

 protected:
  bool DiskCharToUtf8(std::string_view character, std::string* out) const override {
    return toUtf8.Convert(character, out);
  }
  bool Utf8CharToDisk(std::string_view character, std::string* out) const override {
    return toDisk.Convert(character, out);
  }

 private:
  mutable Converter toUtf8;
  mutable Converter toDisk;
};

}  // namespace

std::unique_ptr<HostText> NewHostTextFor(const std::string& charset) {
  if (IsUtf8CharsetName(charset)) {
    auto text = std::make_unique<IconvText>();
    // Without the system's code page 932 tables nothing can be converted, and passing
    // bytes unchanged loses nothing.
    if (text->Valid()) return text;
  }
  return NewPassThroughText();
}
std::unique_ptr<HostText> NewHostText() {
  std::setlocale(LC_ALL, "");
  const char* charset = nl_langinfo(CODESET);
  return NewHostTextFor(charset != nullptr ? charset : "");
}

std::unique_ptr<HostText> NewArgumentText() { return NewHostText(); }

}  // namespace platform
