#include "disk/physical_disk.h"

#include "disk/container_disk.h"

PhysicalDisk::PhysicalDisk(platform::RawDriveService* drives, platform::AspiLibrary* aspi,
                           platform::Vwin32Service* vwin32, platform::PlatformFamilyQuery* family)
    : ntDisk(drives), aspiDisk(aspi), win95Disk(vwin32) {
  switch (family->Family()) {
    case platform::PlatformFamily::kNt:
      mode = DeviceModeNt;
      break;
    case platform::PlatformFamily::kWin95:
      mode = DeviceModeWin95;
      break;
    case platform::PlatformFamily::kOther:
      mode = DeviceModeNone;
      break;
  }
}

PhysicalDisk::~PhysicalDisk() { Close(); }

SectorDevice* PhysicalDisk::Active() {
  switch (mode) {
    case DeviceModeNt:
      return &ntDisk;
    case DeviceModeWin95:
      return &win95Disk;
    case DeviceModeAspi:
      return &aspiDisk;
    case DeviceModeNone:
      break;
  }
  return nullptr;
}

SectorDevice* PhysicalDisk::Reader() {
  if (container != nullptr && mode == DeviceModeNt) return container.get();
  return Active();
}

const char* PhysicalDisk::Describe() {
  SectorDevice* active = Reader();
  return active != nullptr ? active->Describe() : "Physical Disk(HDD/MO/...)";
}

int PhysicalDisk::Open(int openMode) {
  container.reset();
  SectorDevice* active = Active();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  const int result = active->Open(openMode);
  if (result == 0 && mode == DeviceModeNt && ntDisk.ImageFile() != nullptr) {
    container = OpenContainerDisk(ntDisk.ImageFile());
  }
  return result;
}

int PhysicalDisk::Close() {
  container.reset();
  SectorDevice* active = Active();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  return active->Close();
}

int PhysicalDisk::Read(void* buffer, unsigned count) {
  SectorDevice* active = Reader();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  return active->Read(buffer, count);
}

int PhysicalDisk::Seek(int sector, int origin) {
  SectorDevice* active = Reader();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  return active->Seek(sector, origin);
}

DeviceGeometry PhysicalDisk::GetGeometry() {
  SectorDevice* active = Reader();
  if (active == nullptr) {
    // Nothing reaches ntDisk in this mode, so its geometry is all zeros.
    SetError(DeviceErrorUnsupported);
    return ntDisk.GetGeometry();
  }
  return active->GetGeometry();
}

void PhysicalDisk::SetGeometry(DeviceGeometry geometry) {
  SectorDevice* active = Reader();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return;
  }
  active->SetGeometry(geometry);
}

int PhysicalDisk::SetName(const char* name) {
  if (name != nullptr && name[0] >= '0' && name[0] <= '9') mode = DeviceModeAspi;
  SectorDevice* active = Active();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  return active->SetName(name);
}

const char* PhysicalDisk::GetName() {
  SectorDevice* active = Active();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return "Unknown Physical Disk Mode";
  }
  return active->GetName();
}

int PhysicalDisk::ReadRescue(void* buffer, unsigned count) {
  SectorDevice* active = Reader();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  return active->ReadRescue(buffer, count);
}

int PhysicalDisk::DiskCount() {
  SectorDevice* active = Reader();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return 0;
  }
  return active->DiskCount();
}

int PhysicalDisk::SelectDisk(int index) {
  SectorDevice* active = Reader();
  if (active == nullptr) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  return active->SelectDisk(index);
}
