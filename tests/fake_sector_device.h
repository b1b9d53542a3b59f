#ifndef TESTS_FAKE_SECTOR_DEVICE_H_
#define TESTS_FAKE_SECTOR_DEVICE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "disk/sector_device.h"

// A sector device over an image held in memory: the one in-memory device of the tests and
// the fuzzer. It logs every Seek and Read so tests can assert exactly what was read, and it
// can be told to fail.
class FakeSectorDevice final : public SectorDevice {
 public:
  struct Operation {
    enum Kind { kSeek, kRead } kind;
    int64_t sector;  // Seek: the argument as given; Read: absolute device sector read from
    int64_t count;   // Seek: the origin; Read: the sector count
    bool operator==(const Operation& other) const {
      return kind == other.kind && sector == other.sector && count == other.count;
    }
  };

  // `image` is copied; it need not be a whole number of sectors (the tail reads short).
  explicit FakeSectorDevice(std::vector<uint8_t> image, int32_t sectorSize = 512);

  // `bytes` served from byte offset `offset`, past the image, as a disk of many gigabytes
  // holds them there without the bytes in between being held in memory. A read that lies
  // wholly within them reads them.
  void AddExtent(uint64_t offset, std::vector<uint8_t> bytes);

  const char* Describe() override { return "Fake Disk"; }
  int Open(int mode) override;
  int Close() override;
  int Read(void* buffer, unsigned count) override;
  int Seek(int sector, int origin) override;

  // One more disk after those there are, as a container of several disks holds them: the
  // device then answers DiskCount with their number, and SelectDisk makes one of them, with
  // its own sector size, the one Seek and Read reach (at its start, baseSector 0). Image()
  // is the selected disk's.
  void AddDisk(std::vector<uint8_t> image, int32_t sectorSize);
  int DiskCount() override;
  int SelectDisk(int index) override;

  // Fault injection. A read that touches any sector in [first, first + count) fails with
  // DeviceErrorRead after copying nothing; the position still moves past the request.
  // With `times` >= 0 the range fails only that many reads, then reads well.
  void FailSectors(int64_t first, int64_t count, int times = -1);
  void ClearFailures();
  // A Seek with origin 0 to `sector` (the argument as given) fails with DeviceErrorRead
  // and leaves the position where it was, as a device that cannot reach a sector does.
  void FailSeek(int64_t sector) { failedSeeks.push_back(sector); }
  void FailAllReads(bool fail) { failAll = fail; }
  // Open fails with DeviceErrorOpen, as for a drive that is not there.
  void FailOpen(bool fail) { failOpen = fail; }

  // Whether Seek and Read are logged (they are unless told otherwise). The fuzzer turns the
  // log off, so that a run's memory does not grow with its reads.
  void KeepLog(bool keep) { keepLog = keep; }

  const std::vector<Operation>& Log() const { return log; }
  void ClearLog() { log.clear(); }
  // The log as text, one operation a line: "seek 66" (origin 0) or "read 64+34".
  std::string LogText() const;
  int64_t Position() const { return position; }
  int32_t BaseSector() const { return baseSector; }
  std::vector<uint8_t>& Image() { return image; }

 private:
  std::vector<uint8_t> image;
  struct Extent {
    uint64_t offset;
    std::vector<uint8_t> bytes;
  };
  std::vector<Extent> extents;
  struct Disk {
    std::vector<uint8_t> image;  // empty while the disk is selected: `image` holds it
    int32_t sectorSize;
  };
  std::vector<Disk> disks;  // every disk, once AddDisk was called
  int selected = 0;
  int64_t position = 0;
  bool failAll = false;
  bool failOpen = false;
  bool keepLog = true;
  struct Failure {
    int64_t first;
    int64_t count;
    int timesLeft;  // -1: always
  };
  std::vector<Failure> failures;
  std::vector<int64_t> failedSeeks;
  std::vector<Operation> log;
};

#endif  // TESTS_FAKE_SECTOR_DEVICE_H_
