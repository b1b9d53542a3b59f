#include "disk/container_disk.h"

#include <limits>
#include <utility>

#include "disk/d88_disk.h"
#include "disk/dim_disk.h"

namespace {

// Sectors that follow one another in the file are read together, up to this many bytes.
constexpr uint64_t kLargestTransfer = 1u << 20;

}  // namespace

bool ReadFileAt(platform::RawDrive* file, uint64_t offset, void* buffer, uint32_t length,
                bool uncached) {
  if (offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
  uint64_t at = 0;
  if (!file->Seek(static_cast<int64_t>(offset), platform::MoveMethod::kBegin, &at) ||
      at != offset) {
    return false;
  }
  uint32_t got = 0;
  const bool ok =
      uncached ? file->ReadUncached(buffer, length, &got) : file->Read(buffer, length, &got);
  return ok && got == length;
}

std::unique_ptr<SectorDevice> OpenContainerDisk(platform::RawDrive* file) {
  std::unique_ptr<SectorDevice> found;
  uint64_t size = 0;
  if (file->Seek(0, platform::MoveMethod::kEnd, &size)) {
    auto dim = std::make_unique<DimDisk>(file, size);
    if (dim->Recognize()) {
      found = std::move(dim);
    } else {
      auto d88 = std::make_unique<D88Disk>(file, size);
      if (d88->Recognize()) found = std::move(d88);
    }
  }
  uint64_t start = 0;
  file->Seek(0, platform::MoveMethod::kBegin, &start);
  return found;
}

ContainerDisk::ContainerDisk(platform::RawDrive* file, uint64_t fileSize)
    : file(file), fileSize(fileSize) {}

ContainerDisk::~ContainerDisk() = default;

int ContainerDisk::Open(int mode) {
  if (mode == 1) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  return 0;
}

int ContainerDisk::Close() { return 0; }

void ContainerDisk::SetLayout(int32_t sectorBytes, std::vector<int64_t> sectors) {
  sectorOffsets = std::move(sectors);
  bytesPerSector = sectorBytes;
  capacity = static_cast<int32_t>(sectorOffsets.size());
  baseSector = 0;
  position = 0;
}

void ContainerDisk::SetGeometry(DeviceGeometry geometry) { baseSector = geometry.baseSector; }

int ContainerDisk::Seek(int sector, int origin) {
  int64_t from = 0;
  switch (origin) {
    case 0:
      from = baseSector;
      break;
    case 1:
      from = position;
      break;
    case 2:
      from = capacity;
      break;
    default:
      SetError(DeviceErrorUnsupported);
      return -1;
  }
  const int64_t target = from + sector;
  if (target < 0) {
    SetError(DeviceErrorRead);
    return -1;
  }
  position = target;
  const int64_t bytes = target * bytesPerSector;
  const int64_t largest = std::numeric_limits<int32_t>::max();
  return static_cast<int>(bytes < largest ? bytes : largest);
}

int ContainerDisk::Read(void* buffer, unsigned count) { return Transfer(buffer, count, false); }

int ContainerDisk::ReadRescue(void* buffer, unsigned count) {
  return Transfer(buffer, count, true);
}

int ContainerDisk::Transfer(void* buffer, unsigned count, bool uncached) {
  if (count == 0) return 0;
  const int64_t first = position;
  position += count;
  // Every sector is looked at before anything is read: a run holding an unreadable sector
  // fails whole, as a disk's read does.
  const int64_t end = first + count;
  if (end > static_cast<int64_t>(sectorOffsets.size())) {
    SetError(DeviceErrorRead);
    systemError = 0;
    return -1;
  }
  for (int64_t s = first; s < end; ++s) {
    if (sectorOffsets[static_cast<size_t>(s)] == kUnreadable) {
      SetError(DeviceErrorRead);
      systemError = 0;
      return -1;
    }
  }
  const uint64_t bytes = static_cast<uint64_t>(bytesPerSector);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (int64_t s = first; s < end;) {
    const int64_t start = sectorOffsets[static_cast<size_t>(s)];
    uint64_t run = 1;
    while (s + static_cast<int64_t>(run) < end && (run + 1) * bytes <= kLargestTransfer &&
           sectorOffsets[static_cast<size_t>(s) + run] ==
               start + static_cast<int64_t>(run * bytes)) {
      ++run;
    }
    if (!ReadFileAt(file, static_cast<uint64_t>(start), out, static_cast<uint32_t>(run * bytes),
                    uncached)) {
      SetError(DeviceErrorRead);
      return -1;
    }
    out += run * bytes;
    s += static_cast<int64_t>(run);
  }
  return 0;
}
