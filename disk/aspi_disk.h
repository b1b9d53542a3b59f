#ifndef DISK_ASPI_DISK_H_
#define DISK_ASPI_DISK_H_

#include <cstdint>
#include <memory>

#include "disk/sector_device.h"
#include "platform/aspi_library.h"

// A SCSI disk or MO drive addressed as host adapter:target:lun ("0:3:0") and read with
// SCSI commands through ASPI for Win32 (on POSIX, carried over SCSI generic pass-through):
// TEST UNIT READY and READ CAPACITY at Open, READ(6) for every transfer, and READ(10) for
// blocks whose address does not fit the 21 bits of READ(6).
//
// Geometry after Open: bytesPerSector is the block length from READ CAPACITY, capacity
// the last logical block address (the highest block number). Callers count in
// bytesPerSector units, the drive in blockSize units; the two differ only after a
// SetGeometry that changes bytesPerSector.
class AspiDisk : public SectorDevice {
 public:
  // `library` must outlive this disk. Creates the completion event.
  explicit AspiDisk(platform::AspiLibrary* library);
  ~AspiDisk() override;

  // "Physical Disk for WindowsNT(HDD/MO/...)"
  const char* Describe() override;
  // Loads the library (once per process), asks ASPI for the device, waits for the unit
  // (up to 5 TEST UNIT READY attempts 500 ms apart while it reports NOT READY or UNIT
  // ATTENTION) and reads its capacity. Every failure is DeviceErrorOpen: no library or
  // host adapter, an address outside 0-255:0-255:0-7 or a name longer than 259 bytes, no
  // device, a unit that does not get ready, no capacity, a block length of 0.
  int Open(int mode) override;
  // Closes the event and sets the address to 0:0:0. Always 0; the position stays.
  int Close() override;
  // Reads in commands of at most 16384 bytes. A command that fails or times out records
  // DeviceErrorRead; the blocks before it stay in `buffer` and the position after them.
  int Read(void* buffer, unsigned count) override;
  // Origin 0: sector + baseSector; 1: relative to the position; 2: relative to the block
  // after the last. Converted to blocks, remainder dropped. 0; -1 with DeviceErrorRead
  // before a block length is known.
  int Seek(int sector, int origin) override;
  // Reads up to three numbers as "%d:%d:%d" would: none at all (empty text) changes
  // nothing, one sets hostAdapter and clears target and lun, two clear lun. Always 0.
  int SetName(const char* name) override;

  // The block address of the next transfer, in drive blocks.
  uint32_t Position() const { return position; }

 private:
  struct CommandResult {
    uint8_t status;  // SRB_Status after the command
    bool timedOut;
    uint8_t senseKey;
  };

  void LoadLibrary();
  // Sends one SC_EXEC_SCSI_CMD with `cdb` and waits up to 5000 ms for it; on a timeout
  // sends SC_ABORT_SRB and waits once more, so ASPI is done with the block and the
  // buffer before they go.
  CommandResult RunCommand(const uint8_t* cdb, uint8_t cdbLength, void* buffer,
                           uint32_t bufferLength);
  bool WaitUntilReady();
  int ReadBlocks(uint8_t* buffer, uint32_t blocks);

  int32_t hostAdapter = -1;
  int32_t target = 0;
  int32_t lun = 0;
  uint32_t position = 0;
  int32_t blockSize = 0;
  bool sendCommand = false;                    // the library has SendASPI32Command
  bool getSupportInfo = false;                 // the library has GetASPI32SupportInfo
  std::unique_ptr<platform::AspiEvent> event;  // null once closed
  platform::AspiLibrary* const library;
};

#endif  // DISK_ASPI_DISK_H_
