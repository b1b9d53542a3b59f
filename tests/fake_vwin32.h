#ifndef TESTS_FAKE_VWIN32_H_
#define TESTS_FAKE_VWIN32_H_

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "platform/vwin32_port.h"

// The geometry a FakeVwin32Service reports in its device parameter block.
struct FakeVwin32Geometry {
  uint16_t bytesPerSector = 512;
  uint16_t sectorsPerTrack = 63;
  uint16_t heads = 16;
  uint32_t hiddenSectors = 0;
  uint32_t largeSectorCount = 0;
};

// The VWIN32 device over an image held in memory, served by cylinder, head and sector
// with the reported geometry. Every request is logged; open ports are counted so tests
// can see that none is left open.
class FakeVwin32Service final : public platform::Vwin32Service {
 public:
  struct Request {
    uint32_t drive;     // reg_EBX
    uint32_t function;  // reg_ECX: 0x0860 parameters, 0x0861 read track
    uint16_t head = 0, cylinder = 0, sector = 0, count = 0;  // read track only
    bool operator==(const Request& other) const {
      return drive == other.drive && function == other.function && head == other.head &&
             cylinder == other.cylinder && sector == other.sector && count == other.count;
    }
  };

  FakeVwin32Service(std::vector<uint8_t> image, FakeVwin32Geometry geometry);

  void FailOpen(int error) { openError = error; }
  // The parameters request is carried out but answered with carry set (`error` is what the
  // port then reports as its last error), or not carried out at all.
  void CarryOnParameters(int error) { parametersCarryError = error; }
  void RefuseParameters(int error) { parametersRefuseError = error; }
  // A read request touching this absolute sector returns with carry set.
  void FailSector(uint32_t sector) { failingSectors.insert(sector); }

  std::unique_ptr<platform::Vwin32Port> Open(int* systemError) override;

  const std::vector<Request>& Log() const { return log; }
  int OpenPorts() const { return openPorts; }
  int PortsOpened() const { return portsOpened; }
  const FakeVwin32Geometry& Geometry() const { return geometry; }

 private:
  friend class FakeVwin32Port;

  std::vector<uint8_t> image;
  FakeVwin32Geometry geometry;
  int openError = 0;
  int parametersCarryError = -1;
  int parametersRefuseError = 0;
  std::set<uint32_t> failingSectors;
  std::vector<Request> log;
  int openPorts = 0;
  int portsOpened = 0;
};

#endif  // TESTS_FAKE_VWIN32_H_
