#include "tests/fake_aspi.h"

#include <algorithm>
#include <cstring>

#include "platform/aspi_request_block.h"
#include "platform/byte_order.h"

using platform::LoadBe16;
using platform::LoadBe32;
using platform::LoadLe32;
using platform::StoreBe32;

namespace {

void SetSense(uint8_t* block, uint8_t key) {
  block[platform::kSrbStatus] = platform::kAspiStatusError;
  block[platform::kSrbTargStat] = 0x02;  // CHECK CONDITION
  block[platform::kSrbSense] = 0x70;
  block[platform::kSrbSense + 2] = key;
}

}  // namespace

class FakeAspiEvent final : public platform::AspiEvent {
 public:
  explicit FakeAspiEvent(FakeAspiLibrary* library) : library(library) {
    ++library->eventsAlive;
    ++library->eventsCreated;
  }
  ~FakeAspiEvent() override {
    --library->eventsAlive;
    if (library->pendingEvent == this) library->pendingEvent = nullptr;
  }
  void Reset() override { signalled = false; }
  WaitResult Wait(uint32_t) override {
    library->Wait(this);
    if (!signalled) return WaitResult::kTimeout;
    signalled = false;
    return WaitResult::kSignalled;
  }

  bool signalled = false;

 private:
  FakeAspiLibrary* const library;
};

FakeAspiLibrary::FakeAspiLibrary() { devices.insert({0, 3, 0}); }

void FakeAspiLibrary::SetEntryPoints(bool sendCommand, bool getSupportInfo) {
  hasSendCommand = sendCommand;
  hasSupportInfo = getSupportInfo;
}

void FakeAspiLibrary::AddDevice(int hostAdapter, int target, int lun) {
  devices.insert({hostAdapter, target, lun});
}

void FakeAspiLibrary::NotReady(int times, uint8_t senseKey) {
  notReadyLeft = times;
  notReadyKey = senseKey;
}

void FakeAspiLibrary::SetCapacity(uint32_t last, uint32_t length) {
  lastBlock = last;
  blockLength = length;
}

platform::AspiLibrary::LoadResult FakeAspiLibrary::Load() {
  ++loadAttempts;
  if (loaded) return LoadResult::kAlreadyLoaded;
  if (!loadable) return LoadResult::kUnavailable;
  loaded = true;
  return LoadResult::kLoadedNow;
}

uint32_t FakeAspiLibrary::GetSupportInfo() {
  ++supportInfoCalls;
  return supportInfo;
}

uint32_t FakeAspiLibrary::SendCommand(uint8_t* block, const platform::AspiLocations& locations) {
  const size_t size = block[platform::kSrbCmd] == platform::kAspiExecScsiCommand
                          ? platform::kAspiExecBlockBytes
                          : platform::kAspiShortBlockBytes;
  requests.push_back(Request{std::vector<uint8_t>(block, block + size), block, locations});
  switch (block[platform::kSrbCmd]) {
    case platform::kAspiGetDeviceType: {
      const bool present = devices.count({block[platform::kSrbHaId], block[platform::kSrbTarget],
                                          block[platform::kSrbLun]}) != 0;
      block[platform::kSrbStatus] =
          present ? platform::kAspiStatusComplete : platform::kAspiStatusNoDevice;
      return block[platform::kSrbStatus];
    }
    case platform::kAspiExecScsiCommand: {
      auto* event = static_cast<FakeAspiEvent*>(locations.event);
      const uint8_t opcode = block[platform::kSrbCdb];
      if (timeouts.count(opcode) != 0 || completeOnWait) {
        pendingCompletes = timeouts.erase(opcode) == 0;
        pendingBlock = block;
        pendingBuffer = locations.buffer;
        pendingEvent = event;
        block[platform::kSrbStatus] = platform::kAspiStatusPending;
        return platform::kAspiStatusPending;
      }
      Execute(block, locations.buffer);
      if (event != nullptr) event->signalled = true;
      return block[platform::kSrbStatus];
    }
    case platform::kAspiAbortRequest:
      // The aborted request ends with SS_ABORTED the next time its event is waited for.
      if (pendingBlock != nullptr && locations.toAbort == pendingBlock) pendingAborted = true;
      return platform::kAspiStatusComplete;
    default:
      return platform::kAspiStatusInvalidCommand;
  }
}

void FakeAspiLibrary::Wait(FakeAspiEvent* event) {
  ++waits;
  if (pendingBlock == nullptr || pendingEvent != event) return;
  if (pendingAborted) {
    pendingBlock[platform::kSrbStatus] = platform::kAspiStatusAborted;
  } else if (pendingCompletes) {
    Execute(pendingBlock, pendingBuffer);
  } else {
    return;
  }
  pendingBlock = nullptr;
  pendingAborted = false;
  event->signalled = true;
}

std::unique_ptr<platform::AspiEvent> FakeAspiLibrary::CreateEvent() {
  if (failEvents) return nullptr;
  return std::make_unique<FakeAspiEvent>(this);
}

void FakeAspiLibrary::Pause(uint32_t milliseconds) {
  ++pauses;
  pausedMilliseconds += milliseconds;
}

std::vector<std::vector<uint8_t>> FakeAspiLibrary::Cdbs() const {
  std::vector<std::vector<uint8_t>> cdbs;
  for (const Request& r : requests) {
    if (r.block[platform::kSrbCmd] != platform::kAspiExecScsiCommand) continue;
    const auto cdb = r.block.begin() + platform::kSrbCdb;
    cdbs.emplace_back(cdb, cdb + r.block[platform::kSrbCdbLen]);
  }
  return cdbs;
}

void FakeAspiLibrary::Execute(uint8_t* block, void* buffer) {
  if (devices.count({block[platform::kSrbHaId], block[platform::kSrbTarget],
                     block[platform::kSrbLun]}) == 0) {
    block[platform::kSrbStatus] = platform::kAspiStatusNoDevice;
    return;
  }
  const uint8_t* cdb = block + platform::kSrbCdb;
  const uint32_t length = LoadLe32(block + platform::kSrbBufLen);
  auto* out = static_cast<uint8_t*>(buffer);
  switch (cdb[0]) {
    case 0x00:
      if (notReadyLeft > 0) {
        --notReadyLeft;
        SetSense(block, notReadyKey);
        return;
      }
      block[platform::kSrbStatus] = platform::kAspiStatusComplete;
      return;
    case 0x25:
      if (failCapacity || length < 8 || out == nullptr) {
        SetSense(block, 5);
        return;
      }
      StoreBe32(out, lastBlock);
      StoreBe32(out + 4, blockLength);
      block[platform::kSrbStatus] = platform::kAspiStatusComplete;
      return;
    case 0x08:
    case 0x28: {
      uint32_t first;
      uint32_t count;
      if (cdb[0] == 0x08) {
        first = static_cast<uint32_t>((cdb[1] & 0x1F) << 16 | cdb[2] << 8 | cdb[3]);
        count = cdb[4] == 0 ? 256 : cdb[4];
      } else {
        first = LoadBe32(cdb + 2);
        count = LoadBe16(cdb + 7);
      }
      for (uint64_t b = first; b < static_cast<uint64_t>(first) + count; ++b) {
        if (failingBlocks.count(static_cast<uint32_t>(b)) != 0) {
          SetSense(block, 3);
          return;
        }
      }
      const uint64_t bytes = static_cast<uint64_t>(count) * blockLength;
      if (bytes != length || out == nullptr) {
        SetSense(block, 5);
        return;
      }
      // Blocks beyond the image read as zeros, as on a drive whose image is not given.
      std::memset(out, 0, bytes);
      const uint64_t offset = static_cast<uint64_t>(first) * blockLength;
      if (offset < image.size()) {
        const uint64_t n = std::min<uint64_t>(bytes, image.size() - offset);
        std::memcpy(out, image.data() + offset, n);
      }
      block[platform::kSrbStatus] = platform::kAspiStatusComplete;
      return;
    }
    default:
      SetSense(block, 5);
      return;
  }
}
