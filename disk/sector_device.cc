#include "disk/sector_device.h"

#include "platform/system_error.h"

SectorDevice::~SectorDevice() = default;

DeviceGeometry SectorDevice::GetGeometry() {
  return DeviceGeometry{bytesPerSector, capacity, baseSector};
}

void SectorDevice::SetGeometry(DeviceGeometry geometry) {
  bytesPerSector = geometry.bytesPerSector;
  capacity = geometry.capacity;
  baseSector = geometry.baseSector;
}

void SectorDevice::SetError(int code) {
  // Read the system value first: storing must not disturb it.
  const int system = platform::LastSystemError();
  errorCode = code;
  systemError = system;
}

int SectorDevice::GetError() { return errorCode; }

int SectorDevice::GetSystemError() { return systemError; }

int SectorDevice::ReadRescue(void* buffer, unsigned count) { return Read(buffer, count); }
