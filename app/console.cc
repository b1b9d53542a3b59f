#include "app/console.h"

#include <cstdarg>

namespace {

std::string Format(const char* format, va_list arguments) {
  char small[256];
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(small, sizeof(small), format, copy);
  va_end(copy);
  if (length < 0) return std::string();
  if (static_cast<size_t>(length) < sizeof(small)) return std::string(small, length);
  std::string large(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(&large[0], large.size(), format, arguments);
  large.resize(static_cast<size_t>(length));
  return large;
}

std::unique_ptr<platform::ConsoleWriter> WriterFor(platform::ConsoleWindow* window) {
  if (window == nullptr) return nullptr;
  return std::make_unique<platform::ConsoleWriter>(window);
}

}  // namespace

Console::Console(const ConsoleStreams& streams)
    : out(streams.out),
      error(streams.error),
      text(streams.text),
      arguments(streams.arguments != nullptr ? streams.arguments : streams.text),
      outWindow(WriterFor(streams.outWindow)),
      errorWindow(WriterFor(streams.errorWindow)) {}

Console::~Console() = default;

void Console::Out(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string line = Format(format, arguments);
  va_end(arguments);
  Write(out, line);
}

void Console::Error(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string line = Format(format, arguments);
  va_end(arguments);
  Write(error, line);
}

void Console::OutText(std::string_view diskText) { Write(out, diskText); }

void Console::ErrorText(std::string_view diskText) { Write(error, diskText); }

void Console::Write(std::FILE* stream, std::string_view diskText) {
  // Messages and listing lines interleave on a terminal in the order they were made.
  if (stream == error) {
    if (outWindow) {
      outWindow->Flush();
    } else {
      std::fflush(out);
    }
  }
  platform::ConsoleWriter* window = stream == out ? outWindow.get() : errorWindow.get();
  if (window != nullptr) {
    window->Write(diskText);
    // Standard error is unbuffered, in a console window too.
    if (stream == error) window->Flush();
  } else if (text->Converts()) {
    const std::string host = text->FromDisk(diskText);
    std::fwrite(host.data(), 1, host.size(), stream);
  } else {
    std::fwrite(diskText.data(), 1, diskText.size(), stream);
  }
}
