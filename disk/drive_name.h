#ifndef DISK_DRIVE_NAME_H_
#define DISK_DRIVE_NAME_H_

#include <cstddef>
#include <cstring>

// The drive name a back end keeps for its next Open: at most 259 bytes and a NUL. A longer
// name is cut to fit and remembered as too long, so that Open refuses it instead of
// opening a drive whose name was never given.
class DriveName {
 public:
  static constexpr size_t kCapacity = 260;

  void Set(const char* name) {
    const size_t length = name == nullptr ? 0 : std::strlen(name);
    tooLong = length >= kCapacity;
    const size_t kept = tooLong ? kCapacity - 1 : length;
    if (kept > 0) std::memcpy(text, name, kept);
    text[kept] = '\0';
  }
  const char* Text() const { return text; }
  bool Empty() const { return text[0] == '\0'; }
  bool TooLong() const { return tooLong; }

 private:
  char text[kCapacity] = {};
  bool tooLong = false;
};

#endif  // DISK_DRIVE_NAME_H_
