#include "tests/fake_vwin32.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/vwin32_request_block.h"
#include "tests/fake_last_error.h"

using platform::LoadLe16;
using platform::LoadLe32;
using platform::StoreLe16;
using platform::StoreLe32;

namespace {

void SetCarry(uint8_t* registers) {
  registers[platform::kVwin32RegFlags] |= platform::kVwin32CarryFlag;
}

}  // namespace

class FakeVwin32Port final : public FakeWithLastError<platform::Vwin32Port> {
 public:
  explicit FakeVwin32Port(FakeVwin32Service* service) : service(service) {
    ++service->openPorts;
    ++service->portsOpened;
  }
  ~FakeVwin32Port() override { --service->openPorts; }

  bool BlockDeviceRequest(uint8_t* registers, uint8_t* block, size_t blockBytes,
                          void* buffer) override {
    FakeVwin32Service::Request request{LoadLe32(registers + platform::kVwin32RegEbx),
                                       LoadLe32(registers + platform::kVwin32RegEcx)};
    const FakeVwin32Geometry& g = service->geometry;
    if (LoadLe32(registers + platform::kVwin32RegEax) != platform::kVwin32GenericIoctl) {
      return Fail(1);  // ERROR_INVALID_FUNCTION
    }
    if (request.function == platform::kVwin32GetDeviceParameters) {
      service->log.push_back(request);
      if (service->parametersRefuseError != 0) return Fail(service->parametersRefuseError);
      if (service->parametersCarryError >= 0) {
        lastError = service->parametersCarryError;
        SetCarry(registers);
        return true;
      }
      if (blockBytes < platform::kVwin32ParameterBytes) return Fail(87);  // ERROR_INVALID_PARAMETER
      std::memset(block, 0, platform::kVwin32ParameterBytes);
      StoreLe16(block + platform::kVwin32ParamBytesPerSector, g.bytesPerSector);
      StoreLe16(block + platform::kVwin32ParamSectorsPerTrack, g.sectorsPerTrack);
      StoreLe16(block + platform::kVwin32ParamHeads, g.heads);
      StoreLe32(block + platform::kVwin32ParamHiddenSectors, g.hiddenSectors);
      StoreLe32(block + platform::kVwin32ParamLargeSectorCount, g.largeSectorCount);
      return true;
    }
    if (request.function != platform::kVwin32ReadTrack ||
        blockBytes < platform::kVwin32ReadBlockBytes || buffer == nullptr) {
      return Fail(87);
    }
    request.head = LoadLe16(block + platform::kVwin32ReadHead);
    request.cylinder = LoadLe16(block + platform::kVwin32ReadCylinder);
    request.sector = LoadLe16(block + platform::kVwin32ReadSector);
    request.count = LoadLe16(block + platform::kVwin32ReadCount);
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

 private:
  FakeVwin32Service* const service;
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
