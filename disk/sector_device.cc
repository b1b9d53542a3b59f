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

int SectorDevice::Write(const void*, unsigned) {
  SetError(DeviceErrorUnsupported);
  return -1;
}

int SectorDevice::Reserved() {
  SetError(DeviceErrorUnsupported);
  return -1;
}

int SectorDevice::SetName(const char* text) {
  name.Set(text);
  return 0;
}

const char* SectorDevice::GetName() { return name.Text(); }

int SectorDevice::ReadRescue(void* buffer, unsigned count) { return Read(buffer, count); }

int SectorDevice::DiskCount() { return 1; }

int SectorDevice::SelectDisk(int index) {
  if (index == 0) return 0;
  SetError(DeviceErrorUnsupported);
  return -1;
}
