#include "tests/fake_vwin32.h"

#include <cstring>

#include "tests/fake_last_error.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void SetCarry(uint8_t* registers) { registers[24] |= 1; }

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
    FakeVwin32Service::Request request{Le32(registers), Le32(registers + 8)};
    const FakeVwin32Geometry& g = service->geometry;
    if (Le32(registers + 12) != 0x440D) return Fail(1);  // ERROR_INVALID_FUNCTION
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
      PutLe16(block + 7, g.bytesPerSector);
      PutLe16(block + 20, g.sectorsPerTrack);
      PutLe16(block + 22, g.heads);
      PutLe32(block + 24, g.hiddenSectors);
      PutLe32(block + 28, g.largeSectorCount);
      return true;
    }
    if (request.function != 0x0861 || blockBytes < 15 || buffer == nullptr) return Fail(87);
    request.head = Le16(block + 1);
    request.cylinder = Le16(block + 3);
    request.sector = Le16(block + 5);
    request.count = Le16(block + 7);
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
