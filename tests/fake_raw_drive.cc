#include "tests/fake_raw_drive.h"

#include <cstring>

#include "tests/fake_last_error.h"

class FakeRawDrive final : public FakeWithLastError<platform::RawDrive> {
 public:
  FakeRawDrive(FakeRawDriveService* service, const FakeRawDriveService::Drive* drive)
      : service(service), drive(drive) {
    ++service->openDrives;
    service->position = 0;
  }
  ~FakeRawDrive() override { --service->openDrives; }

  bool Seek(int64_t distance, platform::MoveMethod method, uint64_t* newPosition) override {
    static const char* const kNames[] = {"begin", "current", "end"};
    service->log.push_back("seek " + std::to_string(distance) + " " +
                           kNames[static_cast<int>(method)]);
    if (service->seekError != 0) return Fail(service->seekError);
    int64_t origin = 0;
    if (method == platform::MoveMethod::kCurrent) origin = static_cast<int64_t>(position);
    if (method == platform::MoveMethod::kEnd) origin = static_cast<int64_t>(drive->image.size());
    const int64_t result = origin + distance;
    if (result < 0) return Fail(22);  // EINVAL, ERROR_NEGATIVE_SEEK alike
    position = static_cast<uint64_t>(result);
    service->position = position;
    *newPosition = position;
    return true;
  }

  bool GetSectorSize(uint32_t* bytesPerSector) override {
    service->log.push_back("sectorsize");
    if (service->sectorSizeError != 0) return Fail(service->sectorSizeError);
    if (drive->sectorSize == 0) return Fail(25);  // ENOTTY: an image file has none
    *bytesPerSector = drive->sectorSize;
    return true;
  }

  bool Read(void* buffer, uint32_t length, uint32_t* bytesRead) override {
    service->log.push_back("read " + std::to_string(length));
    *bytesRead = 0;
    if (service->readError != 0) return Fail(service->readError);
    const uint64_t size = drive->image.size();
    const uint64_t available = position < size ? size - position : 0;
    const uint32_t n = static_cast<uint32_t>(available < length ? available : length);
    if (n > 0) std::memcpy(buffer, drive->image.data() + position, n);
    position += n;
    service->position = position;
    *bytesRead = n;
    return true;
  }

 private:
  FakeRawDriveService* const service;
  const FakeRawDriveService::Drive* const drive;
  uint64_t position = 0;
};

void FakeRawDriveService::AddDrive(const std::string& name, std::vector<uint8_t> image,
                                   uint32_t sectorSize) {
  drives[name] = Drive{std::move(image), sectorSize};
}

std::unique_ptr<platform::RawDrive> FakeRawDriveService::Open(const char* name, int* systemError) {
  log.push_back(std::string("open ") + name);
  if (openError != 0) {
    *systemError = openError;
    return nullptr;
  }
  auto found = drives.find(name);
  if (found == drives.end()) {
    *systemError = kNoSuchDrive;
    return nullptr;
  }
  return std::make_unique<FakeRawDrive>(this, &found->second);
}
