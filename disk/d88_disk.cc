#include "disk/d88_disk.h"

#include <algorithm>
#include <utility>

#include "platform/byte_order.h"

namespace {

using platform::LoadLe16;
using platform::LoadLe32;

// Size codes above 7 (16384 bytes) are taken as sizes of no sector.
constexpr uint8_t kLargestSizeCode = 7;
// R is one byte: a track that claims more sectors is read up to this many.
constexpr size_t kMostSectorsPerTrack = 256;
constexpr int32_t kNoGeometrySectorBytes = 1024;

struct StoredSector {
  uint8_t record;
  uint8_t sizeCode;
  uint16_t dataSize;
  bool readable;
  uint64_t data;  // byte offset of the data in the file
};

// A sector whose size code names a size and whose data is that size, numbered from 1.
bool Usable(const StoredSector& sector) {
  return sector.record >= 1 && sector.sizeCode <= kLargestSizeCode &&
         sector.dataSize == (128u << sector.sizeCode);
}

bool ReadableStatus(uint8_t status) {
  return status != kD88StatusIdCrc && status != kD88StatusDataCrc &&
         status != kD88StatusNoAddress && status != kD88StatusNoData;
}

// The sectors stored from byte `at` of the disk starting at `diskStart`, in file order, as
// many as the first one's count says, none reaching past byte `end` of the disk.
std::vector<StoredSector> ReadTrack(platform::RawDrive* file, uint64_t diskStart, uint64_t at,
                                    uint64_t end) {
  std::vector<StoredSector> sectors;
  size_t count = kMostSectorsPerTrack;
  while (sectors.size() < count && at + kD88SectorHeaderBytes <= end) {
    uint8_t header[kD88SectorHeaderBytes];
    if (!ReadFileAt(file, diskStart + at, header, sizeof header)) break;
    if (sectors.empty()) {
      count = std::min<size_t>(LoadLe16(header + kD88SectorsInTrack), kMostSectorsPerTrack);
    }
    const uint16_t dataSize = LoadLe16(header + kD88DataSize);
    const uint64_t data = at + kD88SectorHeaderBytes;
    if (sectors.size() >= count || data + dataSize > end) break;
    sectors.push_back(StoredSector{header[kD88Record], header[kD88SizeCode], dataSize,
                                   ReadableStatus(header[kD88Status]), diskStart + data});
    at = data + dataSize;
  }
  return sectors;
}

}  // namespace

D88Disk::D88Disk(platform::RawDrive* file, uint64_t fileSize) : ContainerDisk(file, fileSize) {}

const char* D88Disk::Describe() { return "D88 Floppy Image"; }

int D88Disk::DiskCount() { return static_cast<int>(disks.size()); }

bool D88Disk::Recognize() {
  disks.clear();
  uint64_t start = 0;
  DiskHeader header;
  // Every disk takes at least its header, so the walk moves on each time.
  while (disks.size() < kMostDisks && ReadDiskHeader(start, &header)) {
    disks.push_back(header);
    start += header.size;
  }
  if (disks.empty()) return false;
  SelectDisk(0);
  return true;
}

bool D88Disk::ReadDiskHeader(uint64_t start, DiskHeader* header) {
  uint8_t bytes[kD88HeaderBytes];
  if (start > fileSize || fileSize - start < kD88HeaderBytes ||
      !ReadFileAt(file, start, bytes, sizeof bytes)) {
    return false;
  }
  const uint32_t size = LoadLe32(bytes + kD88DiskSize);
  const uint8_t media = bytes[kD88MediaType];
  if (size < kD88HeaderBytes || size > fileSize - start ||
      (media != kD88Media2d && media != kD88Media2dd && media != kD88Media2hd)) {
    return false;
  }
  header->start = start;
  header->size = size;
  header->tracks.fill(0);
  // A table of 160 entries ends where the first track starts: entries are read only up to
  // the lowest track offset met.
  size_t tableEnd = kD88HeaderBytes;
  bool stored = false;
  for (size_t t = 0; t < kD88TrackEntries; ++t) {
    const size_t at = kD88TrackTable + 4 * t;
    if (at + 4 > tableEnd) break;
    const uint32_t offset = LoadLe32(bytes + at);
    if (offset == 0) continue;
    if (offset < kD88ShortTableEnd || offset > size - kD88SectorHeaderBytes) return false;
    header->tracks[t] = offset;
    stored = true;
    if (offset < tableEnd) tableEnd = offset;
  }
  return stored;
}

int D88Disk::SelectDisk(int index) {
  if (index < 0 || static_cast<size_t>(index) >= disks.size()) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  const DiskHeader& disk = disks[static_cast<size_t>(index)];

  // A track ends where the next track in the file starts, or with the disk.
  std::vector<uint32_t> starts;
  for (uint32_t offset : disk.tracks) {
    if (offset != 0) starts.push_back(offset);
  }
  std::sort(starts.begin(), starts.end());
  std::vector<std::vector<StoredSector>> tracks(kD88TrackEntries);
  size_t lastTrack = 0;
  for (size_t t = 0; t < kD88TrackEntries; ++t) {
    const uint32_t offset = disk.tracks[t];
    if (offset == 0) continue;
    const auto next = std::upper_bound(starts.begin(), starts.end(), offset);
    const uint64_t end = next == starts.end() ? disk.size : *next;
    tracks[t] = ReadTrack(file, disk.start, offset, end);
    lastTrack = t;
  }

  int sizeCode = -1;
  size_t perTrack = 0;
  for (const std::vector<StoredSector>& track : tracks) {
    for (const StoredSector& sector : track) {
      if (sizeCode < 0 && Usable(sector)) sizeCode = sector.sizeCode;
      if (sector.sizeCode == sizeCode && Usable(sector)) {
        perTrack = std::max<size_t>(perTrack, sector.record);
      }
    }
    if (sizeCode >= 0) break;
  }
  if (sizeCode < 0) {
    SetLayout(kNoGeometrySectorBytes, {});
    return 0;
  }

  // Whole cylinders of two heads; the first sector stored under a number is the one read.
  const size_t trackCount = (lastTrack / 2 + 1) * 2;
  std::vector<int64_t> sectors(trackCount * perTrack, kUnreadable);
  std::vector<bool> found(sectors.size(), false);
  for (size_t t = 0; t < trackCount && t < kD88TrackEntries; ++t) {
    for (const StoredSector& sector : tracks[t]) {
      if (!Usable(sector) || sector.sizeCode != sizeCode || sector.record > perTrack) continue;
      const size_t i = t * perTrack + sector.record - 1;
      if (found[i]) continue;
      found[i] = true;
      if (sector.readable) sectors[i] = static_cast<int64_t>(sector.data);
    }
  }
  SetLayout(128 << sizeCode, std::move(sectors));
  return 0;
}
