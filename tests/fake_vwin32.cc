#include "tests/fake_vwin32.h"

#include <cstring>

#include "platform/byte_order.h"

using platform::LoadLe16;
using platform::LoadLe32;
using platform::StoreLe16;
using platform::StoreLe32;

namespace {

void SetCarry(uint8_t* registers) { registers[24] |= 1; }

}  // namespace

class FakeVwin32Port final : public platform::Vwin32Port {
 public:
  explicit FakeVwin32Port(FakeVwin32Service* service) : service(service) {
    ++service->openPorts;
    ++service->portsOpened;
  }
  ~FakeVwin32Port() override { --service->openPorts; }

  bool BlockDeviceRequest(uint8_t* registers, uint8_t* block, size_t blockBytes,
                          void* buffer) override {
    FakeVwin32Service::Request request{LoadLe32(registers), LoadLe32(registers + 8)};
    const FakeVwin32Geometry& g = service->geometry;
    if (LoadLe32(registers + 12) != 0x440D) return Fail(1);  // ERROR_INVALID_FUNCTION
    if (request.function == 0x0860) {
      service->log.push_back(request);
      if (service->parametersRefuseError != 0) return Fail(service->parametersRefuseError);
      if (service->parametersCarryError >= 0) {
        lastError = service->parametersCarryError;
        SetCarry(registers);
        return true;
      }
      if (blockBytes < 40) return Fail(87);  // ERROR_INVALID_PARAMETER
      std::memset(block, 0, 40);
      StoreLe16(block + 7, g.bytesPerSector);
      StoreLe16(block + 20, g.sectorsPerTrack);
      StoreLe16(block + 22, g.heads);
      StoreLe32(block + 24, g.hiddenSectors);
      StoreLe32(block + 28, g.largeSectorCount);
      return true;
    }
    if (request.function != 0x0861 || blockBytes < 15 || buffer == nullptr) return Fail(87);
    request.head = LoadLe16(block + 1);
    request.cylinder = LoadLe16(block + 3);
    request.sector = LoadLe16(block + 5);
    request.count = LoadLe16(block + 7);
    service->log.push_back(request);
    const uint64_t first =
        (static_cast<uint64_t>(request.cylinder) * g.heads + request.head) * g.sectorsPerTrack +
        request.sector;
    for (uint64_t s = first; s < first + request.count; ++s) {
      if (service->failingSectors.count(static_cast<uint32_t>(s)) != 0) {
        SetCarry(registers);
        return true;
      }
    }
    const uint64_t offset = first * g.bytesPerSector;
    const uint64_t bytes = static_cast<uint64_t>(request.count) * g.bytesPerSector;
    if (offset + bytes > service->image.size()) {
      SetCarry(registers);
      return true;
    }
    std::memcpy(buffer, service->image.data() + offset, bytes);
    return true;
  }

  int LastError() override { return lastError; }

 private:
  bool Fail(int error) {
    lastError = error;
    return false;
  }

  FakeVwin32Service* const service;
  int lastError = 0;
};

FakeVwin32Service::FakeVwin32Service(std::vector<uint8_t> image, FakeVwin32Geometry geometry)
    : image(std::move(image)), geometry(geometry) {}

std::unique_ptr<platform::Vwin32Port> FakeVwin32Service::Open(int* systemError) {
  if (openError != 0) {
    *systemError = openError;
    return nullptr;
  }
  return std::make_unique<FakeVwin32Port>(this);
}
