#ifndef TESTS_HAND_MEDIA_H_
#define TESTS_HAND_MEDIA_H_

// Media written byte by byte in the tests themselves, so that a test states the format
// it expects instead of trusting the image builder.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace handmedia {

inline void PutBe16(std::vector<uint8_t>* image, size_t offset, uint16_t value) {
  (*image)[offset] = static_cast<uint8_t>(value >> 8);
  (*image)[offset + 1] = static_cast<uint8_t>(value);
}

inline void PutLe16(std::vector<uint8_t>* image, size_t offset, uint16_t value) {
  (*image)[offset] = static_cast<uint8_t>(value);
  (*image)[offset + 1] = static_cast<uint8_t>(value >> 8);
}

inline void PutText(std::vector<uint8_t>* image, size_t offset, const std::string& text) {
  std::memcpy(image->data() + offset, text.data(), text.size());
}

struct BootFields {
  uint16_t sectorSize = 1024;
  uint8_t sectorsPerCluster = 2;
  uint8_t fatCount = 2;
  uint16_t unitsBeforeFat = 1;  // 1024-byte units
  uint16_t rootEntries = 512;
  uint8_t fatSectors = 16;
};

// Builds X68000 media by hand, byte for byte, so the tests state the format themselves.
class X68kMedia {
 public:
  explicit X68kMedia(size_t size) : image(size, 0) {
    PutText(&image, 0, "X68SCSI1");
    PutText(&image, 2048, "X68K");
  }

  // Table entry `index` starting at `startField` (the raw 32-bit field) with a boot sector.
  void AddPartition(int index, uint32_t startField, const BootFields& boot) {
    const size_t entry = 2064 + 16 * static_cast<size_t>(index);
    PutText(&image, entry, "Human68k");
    image[entry + 8] = static_cast<uint8_t>(startField >> 24);
    image[entry + 9] = static_cast<uint8_t>(startField >> 16);
    image[entry + 10] = static_cast<uint8_t>(startField >> 8);
    image[entry + 11] = static_cast<uint8_t>(startField);
    const size_t at = static_cast<size_t>(startField & 0xFFFFFF) * 1024;
    if (at + 4096 > image.size()) return;
    PutBe16(&image, at + 18, boot.sectorSize);
    image[at + 20] = boot.sectorsPerCluster;
    image[at + 21] = boot.fatCount;
    PutBe16(&image, at + 22, boot.unitsBeforeFat);
    PutBe16(&image, at + 24, boot.rootEntries);
    image[at + 29] = boot.fatSectors;
  }

  std::vector<uint8_t> image;
};

// A PC boot sector with the fields the volume reads; the rest of the medium is zero.
inline std::vector<uint8_t> PcMedia(size_t size, uint16_t sectorSize, uint8_t sectorsPerCluster,
                                    uint16_t reserved, uint8_t fats, uint16_t rootEntries,
                                    uint16_t fatSectors) {
  std::vector<uint8_t> image(size, 0);
  image[0] = 0xEB;
  image[510] = 0x55;
  image[511] = 0xAA;
  PutLe16(&image, 11, sectorSize);
  image[13] = sectorsPerCluster;
  PutLe16(&image, 14, reserved);
  image[16] = fats;
  PutLe16(&image, 17, rootEntries);
  PutLe16(&image, 22, fatSectors);
  return image;
}

}  // namespace handmedia

#endif  // TESTS_HAND_MEDIA_H_
