#include "tests/fake_sector_device.h"

#include <algorithm>
#include <cstring>
#include <utility>

FakeSectorDevice::FakeSectorDevice(std::vector<uint8_t> image, int32_t sectorSize)
    : image(std::move(image)) {
  bytesPerSector = sectorSize;
  capacity = static_cast<int32_t>(this->image.size() / static_cast<size_t>(sectorSize));
}

void FakeSectorDevice::AddExtent(uint64_t offset, std::vector<uint8_t> bytes) {
  extents.push_back({offset, std::move(bytes)});
}

int FakeSectorDevice::Open(int mode) {
  if (mode == 1) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  if (failOpen) {
    SetError(DeviceErrorOpen);
    return -1;
  }
  return 0;
}

int FakeSectorDevice::Close() { return 0; }

int FakeSectorDevice::Read(void* buffer, unsigned count) {
  const int64_t first = position;
  if (keepLog) log.push_back({Operation::kRead, first, static_cast<int64_t>(count)});
  position += count;
  if (failAll) {
    SetError(DeviceErrorRead);
    return -1;
  }
  for (Failure& range : failures) {
    if (range.timesLeft != 0 && first < range.first + range.count && range.first < first + count) {
      if (range.timesLeft > 0) --range.timesLeft;
      SetError(DeviceErrorRead);
      return -1;
    }
  }
  const uint64_t wanted = static_cast<uint64_t>(count) * static_cast<uint64_t>(bytesPerSector);
  const uint64_t start = static_cast<uint64_t>(first) * static_cast<uint64_t>(bytesPerSector);
  for (const Extent& extent : extents) {
    if (first >= 0 && start >= extent.offset && start - extent.offset <= extent.bytes.size() &&
        wanted <= extent.bytes.size() - (start - extent.offset)) {
      if (wanted > 0) std::memcpy(buffer, extent.bytes.data() + (start - extent.offset), wanted);
      return 0;
    }
  }
  uint64_t available = 0;
  if (first >= 0 && start < image.size()) available = image.size() - start;
  const uint64_t copied = available < wanted ? available : wanted;
  if (copied > 0) std::memcpy(buffer, image.data() + start, copied);
  if (copied < wanted) {
    SetError(DeviceErrorRead);
    return -1;
  }
  return 0;
}

int FakeSectorDevice::Seek(int sector, int origin) {
  if (keepLog) log.push_back({Operation::kSeek, sector, origin});
  if (origin == 0 &&
      std::find(failedSeeks.begin(), failedSeeks.end(), sector) != failedSeeks.end()) {
    SetError(DeviceErrorRead);
    return -1;
  }
  if (origin == 0) {
    position = static_cast<int64_t>(sector) + baseSector;
  } else if (origin == 1) {
    position += sector;
  } else {
    position = static_cast<int64_t>(image.size() / static_cast<size_t>(bytesPerSector)) + sector;
  }
  return 0;
}

void FakeSectorDevice::AddDisk(std::vector<uint8_t> more, int32_t sectorSize) {
  if (disks.empty()) disks.push_back({{}, bytesPerSector});
  disks.push_back({std::move(more), sectorSize});
}

int FakeSectorDevice::DiskCount() { return disks.empty() ? 1 : static_cast<int>(disks.size()); }

int FakeSectorDevice::SelectDisk(int index) {
  if (index < 0 || index >= DiskCount()) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  if (disks.empty()) return 0;
  std::swap(image, disks[selected].image);
  std::swap(image, disks[index].image);
  selected = index;
  bytesPerSector = disks[index].sectorSize;
  capacity = static_cast<int32_t>(image.size() / static_cast<size_t>(bytesPerSector));
  baseSector = 0;
  position = 0;
  return 0;
}

void FakeSectorDevice::FailSectors(int64_t first, int64_t count, int times) {
  failures.push_back({first, count, times});
}

void FakeSectorDevice::ClearFailures() {
  failures.clear();
  failedSeeks.clear();
}

std::string FakeSectorDevice::LogText() const {
  std::string text;
  for (const auto& op : log) {
    if (op.kind == Operation::kSeek) {
      text += "seek " + std::to_string(op.sector);
      if (op.count != 0) text += " from " + std::to_string(op.count);
    } else {
      text += "read " + std::to_string(op.sector) + "+" + std::to_string(op.count);
    }
    text += "\n";
  }
  return text;
}
