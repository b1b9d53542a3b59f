#ifndef TESTS_FAKE_RAW_DRIVE_H_
#define TESTS_FAKE_RAW_DRIVE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/raw_drive.h"

// Raw drives over images held in memory. Tests add drives by name, make opening,
// positioning, reading or the sector-size query fail with a chosen system error, and read
// the log of what was asked.
class FakeRawDriveService final : public platform::RawDriveService {
 public:
  // The system error of opening a name that has no drive.
  static constexpr int kNoSuchDrive = 2;

  // A drive `name` over `image`. `sectorSize` 0: the drive reports no sector size, as an
  // image file does.
  void AddDrive(const std::string& name, std::vector<uint8_t> image, uint32_t sectorSize = 0);

  // A non-zero error makes every later call of that kind fail with it; 0 heals.
  void FailOpen(int error) { openError = error; }
  void FailSeek(int error) { seekError = error; }
  void FailRead(int error) { readError = error; }
  void FailSectorSize(int error) { sectorSizeError = error; }

  std::unique_ptr<platform::RawDrive> Open(const char* name, int* systemError) override;

  // One line per call: "open NAME", "seek DISTANCE begin|current|end", "read LENGTH",
  // "sectorsize".
  const std::vector<std::string>& Log() const { return log; }
  int OpenDrives() const { return openDrives; }
  // The byte position of the most recently opened drive.
  uint64_t Position() const { return position; }

 private:
  friend class FakeRawDrive;
  struct Drive {
    std::vector<uint8_t> image;
    uint32_t sectorSize = 0;
  };

  std::map<std::string, Drive> drives;
  int openError = 0;
  int seekError = 0;
  int readError = 0;
  int sectorSizeError = 0;
  std::vector<std::string> log;
  int openDrives = 0;
  uint64_t position = 0;
};

#endif  // TESTS_FAKE_RAW_DRIVE_H_
