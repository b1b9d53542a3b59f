#include "disk/nt_disk.h"

#include <cstdint>
#include <limits>

namespace {

constexpr int32_t kFallbackSectorSize = 512;

}  // namespace

NtDisk::NtDisk(platform::RawDriveService* drives) : drives(drives) {}

NtDisk::~NtDisk() { Close(); }

const char* NtDisk::Describe() { return "Physical Disk for WindowsNT(HDD/MO/...)"; }

int NtDisk::Open(int mode) {
  if (mode == 1) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  if (name.Empty() || name.TooLong()) {
    SetError(DeviceErrorOpen);
    return -1;
  }
  handle.reset();
  int error = 0;
  std::unique_ptr<platform::RawDrive> drive = drives->Open(name.Text(), &error);
  if (drive == nullptr) {
    RecordSystemError(error, DeviceErrorOpen);
    return -1;
  }

  uint64_t size = 0;
  capacity = drive->Seek(0, platform::MoveMethod::kEnd, &size)
                 ? static_cast<int32_t>(static_cast<uint32_t>(size))
                 : -1;
  uint64_t start = 0;
  drive->Seek(0, platform::MoveMethod::kBegin, &start);

  // A drive that reports no sector size (an image file) is read in 512-byte sectors.
  uint32_t sectorSize = 0;
  imageFile = !drive->GetSectorSize(&sectorSize);
  if (!imageFile && sectorSize > 0 &&
      sectorSize <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    bytesPerSector = static_cast<int32_t>(sectorSize);
  } else {
    bytesPerSector = kFallbackSectorSize;
  }
  handle = std::move(drive);
  return 0;
}

int NtDisk::Close() {
  if (handle == nullptr) return -1;
  handle.reset();
  return 0;
}

platform::RawDrive* NtDisk::ImageFile() { return imageFile ? handle.get() : nullptr; }

int NtDisk::Read(void* buffer, unsigned count) { return Transfer(buffer, count, false); }

int NtDisk::ReadRescue(void* buffer, unsigned count) { return Transfer(buffer, count, true); }

int NtDisk::Transfer(void* buffer, unsigned count, bool uncached) {
  if (handle == nullptr || bytesPerSector < 0) {
    SetError(DeviceErrorRead);
    return -1;
  }
  const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(bytesPerSector);
  if (bytes == 0) return 0;
  // One platform read carries at most 4 GiB - 1.
  if (bytes > std::numeric_limits<uint32_t>::max()) {
    SetError(DeviceErrorRead);
    return -1;
  }
  uint32_t got = 0;
  const bool ok = uncached ? handle->ReadUncached(buffer, static_cast<uint32_t>(bytes), &got)
                           : handle->Read(buffer, static_cast<uint32_t>(bytes), &got);
  if (!ok || got != bytes) {
    const int error = ok ? 0 : handle->LastError();
    SetError(DeviceErrorRead);
    if (!ok) systemError = error;
    return -1;
  }
  return 0;
}

int NtDisk::Seek(int sector, int origin) {
  if (origin < 0 || origin > 2) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  if (handle == nullptr) {
    SetError(DeviceErrorRead);
    return -1;
  }
  int64_t distance = static_cast<int64_t>(sector) * bytesPerSector;
  if (origin == 0) distance += static_cast<int64_t>(baseSector) * bytesPerSector;
  uint64_t position = 0;
  if (!handle->Seek(distance, static_cast<platform::MoveMethod>(origin), &position)) {
    RecordSystemError(handle->LastError(), DeviceErrorRead);
    return -1;
  }
  const uint64_t largest = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int>(position < largest ? position : largest);
}

void NtDisk::RecordSystemError(int error, int fallback) {
  SetError(error != 0 ? error : fallback);
  systemError = error;
}
