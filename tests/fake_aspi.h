#ifndef TESTS_FAKE_ASPI_H_
#define TESTS_FAKE_ASPI_H_

#include <cstdint>
#include <set>
#include <tuple>
#include <vector>

#include "platform/aspi_library.h"

// ASPI for Win32 in memory: one SCSI drive (or several addresses) serving an image in
// blocks. Tests script TEST UNIT READY answers, timeouts, READ CAPACITY values and
// failing reads; every request block is logged as sent, and waits and pauses are counted
// without any time passing.
class FakeAspiLibrary final : public platform::AspiLibrary {
 public:
  struct Request {
    std::vector<uint8_t> block;  // the block as it was sent
    const uint8_t* address;      // where the block lived
    platform::AspiLocations locations;
  };

  FakeAspiLibrary();

  // Setup.
  void SetLoadable(bool loadable) { this->loadable = loadable; }
  void SetEntryPoints(bool sendCommand, bool getSupportInfo);
  void SetSupportInfo(uint32_t value) { supportInfo = value; }
  void AddDevice(int hostAdapter, int target, int lun);
  // The next `times` TEST UNIT READY commands end SS_ERR with `senseKey`.
  void NotReady(int times, uint8_t senseKey = 2);
  // The next command with this operation code never completes by itself.
  void TimeOutNext(uint8_t opcode) { timeouts.insert(opcode); }
  void SetCapacity(uint32_t lastBlock, uint32_t blockLength);
  void FailCapacity(bool fail) { failCapacity = fail; }
  // The image the read commands serve, in blocks of the capacity's block length.
  void SetImage(std::vector<uint8_t> image) { this->image = std::move(image); }
  // A read that touches this block ends SS_ERR (sense key 3, medium error).
  void FailBlock(uint32_t block) { failingBlocks.insert(block); }
  // Commands report SS_PENDING at first and complete while the caller waits.
  void CompleteOnWait(bool value) { completeOnWait = value; }

  // platform::AspiLibrary
  LoadResult Load() override;
  bool HasGetSupportInfo() override { return loaded && hasSupportInfo; }
  bool HasSendCommand() override { return loaded && hasSendCommand; }
  uint32_t GetSupportInfo() override;
  uint32_t SendCommand(uint8_t* block, const platform::AspiLocations& locations) override;
  std::unique_ptr<platform::AspiEvent> CreateEvent() override;
  void Pause(uint32_t milliseconds) override;

  // Observations.
  const std::vector<Request>& Requests() const { return requests; }
  // The command blocks of the SC_EXEC_SCSI_CMD requests, in order.
  std::vector<std::vector<uint8_t>> Cdbs() const;
  int LoadAttempts() const { return loadAttempts; }
  int SupportInfoCalls() const { return supportInfoCalls; }
  int Waits() const { return waits; }
  int Pauses() const { return pauses; }
  uint32_t PausedMilliseconds() const { return pausedMilliseconds; }
  int EventsAlive() const { return eventsAlive; }
  int EventsCreated() const { return eventsCreated; }
  void FailEventCreation(bool fail) { failEvents = fail; }

 private:
  friend class FakeAspiEvent;

  // Carries out the exec request `block` now: SRB_Status, sense and data.
  void Execute(uint8_t* block, void* buffer);
  void Wait(class FakeAspiEvent* event);

  bool loadable = true;
  bool loaded = false;
  bool hasSendCommand = true;
  bool hasSupportInfo = true;
  uint32_t supportInfo = 0x0101;  // SS_COMP, one host adapter
  std::set<std::tuple<int, int, int>> devices;
  int notReadyLeft = 0;
  uint8_t notReadyKey = 2;
  std::set<uint8_t> timeouts;
  uint32_t lastBlock = 999;
  uint32_t blockLength = 512;
  bool failCapacity = false;
  std::vector<uint8_t> image;
  std::set<uint32_t> failingBlocks;
  bool completeOnWait = false;
  bool failEvents = false;

  // The request still running, if any.
  uint8_t* pendingBlock = nullptr;
  void* pendingBuffer = nullptr;
  class FakeAspiEvent* pendingEvent = nullptr;
  bool pendingCompletes = false;
  bool pendingAborted = false;

  std::vector<Request> requests;
  int loadAttempts = 0;
  int supportInfoCalls = 0;
  int waits = 0;
  int pauses = 0;
  uint32_t pausedMilliseconds = 0;
  int eventsAlive = 0;
  int eventsCreated = 0;
};

#endif  // TESTS_FAKE_ASPI_H_
