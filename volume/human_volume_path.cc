#include <cstring>
#include <string>

#include "volume/human_volume.h"
#include "volume/shift_jis.h"

int HumanVolume::ChangeDir(const char* path) {
  PathWalk walk;
  const int result = WalkPath(path, true, &walk);
  if (result != 1) return result;
  currentDirectory = std::move(walk.contents);
  currentCluster = walk.cluster;
  currentPath = std::move(walk.text);
  return 1;
}

int HumanVolume::GetCurrentDir(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 1;
  // A bounded copy: zero bytes after a shorter text, no terminator when the text fills it.
  const size_t capacity = static_cast<size_t>(size);
  const size_t length = currentPath.size() < capacity ? currentPath.size() : capacity;
  std::memcpy(buffer, currentPath.data(), length);
  std::memset(buffer + length, 0, capacity - length);
  return 1;
}

std::string HumanVolume::JoinPath(const char* directory, const char* component) {
  std::string text = directory != nullptr ? directory : "";
  StepPathText(&text, component != nullptr ? component : "");
  return text;
}

void HumanVolume::StepPathText(std::string* text, const char* component) {
  if (std::strcmp(component, ".") == 0) return;
  if (std::strcmp(component, "..") == 0) {
    if (*text == "\\") return;
    // The last backslash that is a character of its own: the second byte of a double-byte
    // character may be 0x5C too.
    size_t last = std::string::npos;
    for (size_t i = 0; i < text->size(); i += ShiftJisCharLength(text->c_str() + i)) {
      if ((*text)[i] == '\\') last = i;
    }
    // Cutting at the leading backslash, or a text without one, leaves the root.
    if (last == 0 || last == std::string::npos) {
      *text = "\\";
    } else {
      text->resize(last);
    }
    return;
  }
  if (*text != "\\") text->push_back('\\');
  text->append(component);
}
