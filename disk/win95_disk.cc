#include "disk/win95_disk.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/vwin32_request_block.h"

namespace {

// A generic block-device request for `drive` with minor code `function`.
void PrepareRegisters(uint8_t* registers, int32_t drive, uint32_t function) {
  std::memset(registers, 0, platform::kVwin32RegisterBytes);
  platform::StoreLe32(registers + platform::kVwin32RegEbx, static_cast<uint32_t>(drive));
  platform::StoreLe32(registers + platform::kVwin32RegEcx, function);
  platform::StoreLe32(registers + platform::kVwin32RegEax, platform::kVwin32GenericIoctl);
}

bool CarrySet(const uint8_t* registers) {
  return (platform::LoadLe32(registers + platform::kVwin32RegFlags) & platform::kVwin32CarryFlag) !=
         0;
}

}  // namespace

Win95Disk::Win95Disk(platform::Vwin32Service* ports) : ports(ports) {}

Win95Disk::~Win95Disk() { Close(); }

const char* Win95Disk::Describe() { return "Physical Disk for Windows95(HDD/MO/...)"; }

int Win95Disk::Open(int mode) {
  if (mode == 1) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  const char* text = name.Text();
  if (name.Empty() || name.TooLong() || text[1] != ':') {
    SetError(DeviceErrorOpen);
    return -1;
  }
  // MS-DOS numbers drives from 1 for A; anything but a letter names no drive.
  char letter = text[0];
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') {
    SetError(DeviceErrorOpen);
    return -1;
  }
  const int32_t newDrive = letter - 0x40;

  int error = 0;
  std::unique_ptr<platform::Vwin32Port> port = ports->Open(&error);
  if (port == nullptr) {
    SetError(error != 0 ? error : DeviceErrorOpen);
    systemError = error;
    return -1;
  }
  position = 0;

  uint8_t registers[platform::kVwin32RegisterBytes];
  PrepareRegisters(registers, newDrive, platform::kVwin32GetDeviceParameters);
  uint8_t params[kParameterBytes] = {};
  if (!port->BlockDeviceRequest(registers, params, sizeof params, nullptr) || CarrySet(registers)) {
    error = port->LastError();
    port.reset();
    SetError(error != 0 ? error : DeviceErrorOpen);
    systemError = error;
    return -1;
  }
  // With 0 sectors per track no read could make progress, and 0 bytes per sector describes
  // no medium: such a block is refused here rather than at the first Read.
  if (platform::LoadLe16(params + platform::kVwin32ParamBytesPerSector) == 0 ||
      platform::LoadLe16(params + platform::kVwin32ParamSectorsPerTrack) == 0) {
    port.reset();
    SetError(DeviceErrorOpen);
    return -1;
  }

  std::memcpy(deviceParams, params, sizeof deviceParams);
  bytesPerSector =
      static_cast<int32_t>(platform::LoadLe16(params + platform::kVwin32ParamBytesPerSector));
  capacity = static_cast<int32_t>(EndSector());
  drive = newDrive;
  vwin32 = std::move(port);
  return 0;
}

int Win95Disk::Close() {
  if (vwin32 == nullptr) return -1;
  vwin32.reset();
  return 0;
}

int Win95Disk::Read(void* buffer, unsigned count) {
  const uint32_t spt = SectorsPerTrack();
  if (count > 0 && (spt == 0 || bytesPerSector < 0)) {
    SetError(DeviceErrorRead);
    return -1;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t remaining = count;
  while (remaining > 0) {
    const uint32_t chunk = remaining < spt ? remaining : spt;
    if (ReadChunk(out, chunk) < 0) return -1;
    out += static_cast<size_t>(chunk) * static_cast<size_t>(bytesPerSector);
    remaining -= chunk;
  }
  return 0;
}

int Win95Disk::Seek(int sector, int origin) {
  const uint32_t distance = static_cast<uint32_t>(sector);
  switch (origin) {
    case 0:
      position = distance + static_cast<uint32_t>(baseSector);
      break;
    case 1:
      position += distance;
      break;
    case 2:
      position = distance + EndSector();
      break;
    default:
      position = distance;
      break;
  }
  return static_cast<int>(position);
}

Win95Disk::TrackAddress Win95Disk::ToTrackAddress(uint32_t sector) const {
  const uint32_t spt = SectorsPerTrack();
  const uint32_t heads = Heads();
  TrackAddress address{};
  uint32_t track = 0;
  if (spt != 0) {
    track = sector / spt;
    address.sector = sector % spt;
  } else {
    address.sector = sector;
  }
  if (heads != 0) {
    address.cylinder = track / heads;
    address.head = track % heads;
  } else {
    address.head = track;
  }
  return address;
}

int Win95Disk::ReadChunk(uint8_t* buffer, uint32_t count) {
  const TrackAddress address = ToTrackAddress(position);
  // The read block holds 16-bit values; a larger one would address another track.
  if (vwin32 == nullptr || address.cylinder > 0xFFFF || address.head > 0xFFFF ||
      address.sector > 0xFFFF || count > 0xFFFF) {
    SetError(DeviceErrorRead);
    return -1;
  }
  uint8_t block[platform::kVwin32ReadBlockBytes] = {};
  platform::StoreLe16(block + platform::kVwin32ReadHead, address.head);
  platform::StoreLe16(block + platform::kVwin32ReadCylinder, address.cylinder);
  platform::StoreLe16(block + platform::kVwin32ReadSector, address.sector);
  platform::StoreLe16(block + platform::kVwin32ReadCount, count);
  // The buffer's offset and selector are the port's to fill.
  uint8_t registers[platform::kVwin32RegisterBytes];
  PrepareRegisters(registers, drive, platform::kVwin32ReadTrack);
  if (!vwin32->BlockDeviceRequest(registers, block, sizeof block, buffer) || CarrySet(registers)) {
    SetError(DeviceErrorRead);
    return -1;
  }
  position += count;
  return 0;
}

uint32_t Win95Disk::SectorsPerTrack() const {
  return platform::LoadLe16(deviceParams + platform::kVwin32ParamSectorsPerTrack);
}

uint32_t Win95Disk::Heads() const {
  return platform::LoadLe16(deviceParams + platform::kVwin32ParamHeads);
}

uint32_t Win95Disk::EndSector() const {
  return platform::LoadLe32(deviceParams + platform::kVwin32ParamHiddenSectors) +
         platform::LoadLe32(deviceParams + platform::kVwin32ParamLargeSectorCount);
}
