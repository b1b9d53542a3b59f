#include "disk/dim_disk.h"

#include <cstring>
#include <utility>
#include <vector>

#include "disk/floppy_image_format.h"

namespace {

// A 2HD disk's cylinders; the other media types are assumed to have at least as many.
constexpr size_t kLeastCylinders = 77;

}  // namespace

DimDisk::DimDisk(platform::RawDrive* file, uint64_t fileSize) : ContainerDisk(file, fileSize) {}

const char* DimDisk::Describe() { return "DIM Floppy Image"; }

bool DimDisk::Recognize() {
  uint8_t header[kDimHeaderBytes];
  if (fileSize < kDimHeaderBytes || !ReadFileAt(file, 0, header, sizeof header) ||
      std::memcmp(header + kDimSignature, kDimSignatureText, kDimSignatureBytes) != 0) {
    return false;
  }
  int32_t sectorBytes = 0;
  size_t perTrack = 0;
  switch (header[kDimMediaType]) {
    case kDimType2hd:
      sectorBytes = 1024;
      perTrack = 8;
      break;
    case kDimType2hs:
    case kDimType2hde:
      sectorBytes = 1024;
      perTrack = 9;
      break;
    case kDimType2hc:
      sectorBytes = 512;
      perTrack = 15;
      break;
    case kDimType2hq:
      sectorBytes = 512;
      perTrack = 18;
      break;
    default:
      return false;
  }

  const uint8_t* stored = header + kDimTrackFlags;
  size_t tracks = 2 * kLeastCylinders;
  for (size_t t = 0; t < kDimTrackCount; ++t) {
    if (stored[t] != 0 && t / 2 * 2 + 2 > tracks) tracks = t / 2 * 2 + 2;
  }
  std::vector<int64_t> sectors(tracks * perTrack, kUnreadable);
  const uint64_t trackBytes = perTrack * static_cast<uint64_t>(sectorBytes);
  uint64_t at = kDimHeaderBytes;  // where the next stored track starts
  for (size_t t = 0; t < tracks && t < kDimTrackCount; ++t) {
    if (stored[t] == 0) continue;
    for (size_t s = 0; s < perTrack; ++s) {
      const uint64_t offset = at + s * static_cast<uint64_t>(sectorBytes);
      // A file cut short keeps the sectors it still holds whole.
      if (offset + static_cast<uint64_t>(sectorBytes) <= fileSize) {
        sectors[t * perTrack + s] = static_cast<int64_t>(offset);
      }
    }
    at += trackBytes;
  }
  SetLayout(sectorBytes, std::move(sectors));
  return true;
}
