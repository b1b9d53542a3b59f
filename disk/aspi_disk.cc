#include "disk/aspi_disk.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/aspi_request_block.h"
#include "platform/byte_order.h"

namespace {

// The sense bytes asked for with each command (SENSE_LEN).
constexpr uint8_t kSenseLength = 14;

constexpr uint32_t kCommandWaitMs = 5000;
constexpr uint32_t kRetryPauseMs = 500;
constexpr int kReadyAttempts = 5;
constexpr uint8_t kSenseNotReady = 2;
constexpr uint8_t kSenseUnitAttention = 6;

// At most this many bytes move per command.
constexpr uint32_t kChunkBytes = 16384;
// READ(6) carries a 21-bit block address and a one-byte count (0 meaning 256).
constexpr uint32_t kRead6LastBlock = 0x1FFFFF;
constexpr uint32_t kRead6MaxBlocks = 256;

// One "%d" of scanf: white space, an optional sign, decimal digits. Values beyond int
// saturate. Returns false when no digits follow.
bool ScanInt(const char*& p, int32_t* value) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  const char* q = p;
  bool negative = false;
  if (*q == '+' || *q == '-') negative = *q++ == '-';
  if (*q < '0' || *q > '9') return false;
  int64_t v = 0;
  while (*q >= '0' && *q <= '9') {
    v = std::min<int64_t>(v * 10 + (*q - '0'), static_cast<int64_t>(INT32_MAX) + 1);
    ++q;
  }
  if (negative) v = -v;
  *value = static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  p = q;
  return true;
}

}  // namespace

AspiDisk::AspiDisk(platform::AspiLibrary* library)
    : event(library->CreateEvent()), library(library) {}

AspiDisk::~AspiDisk() { Close(); }

const char* AspiDisk::Describe() { return "Physical Disk for WindowsNT(HDD/MO/...)"; }

void AspiDisk::LoadLibrary() {
  const platform::AspiLibrary::LoadResult loaded = library->Load();
  if (loaded == platform::AspiLibrary::LoadResult::kUnavailable) return;
  sendCommand = library->HasSendCommand();
  getSupportInfo = library->HasGetSupportInfo();
  if (loaded == platform::AspiLibrary::LoadResult::kLoadedNow && getSupportInfo) {
    const uint32_t info = library->GetSupportInfo();
    library->SetHostAdapterCount(
        ((info >> 8) & 0xFF) == platform::kAspiStatusComplete ? static_cast<int>(info & 0xFF) : -1);
  }
}

int AspiDisk::Open(int mode) {
  if (mode == 1) {
    SetError(DeviceErrorUnsupported);
    return -1;
  }
  LoadLibrary();
  // The request blocks carry one byte for adapter and target and three bits for the
  // unit: larger numbers would address another device.
  if (library->HostAdapterCount() <= 0 || hostAdapter < 0 || !sendCommand || name.TooLong() ||
      hostAdapter > 255 || target < 0 || target > 255 || lun < 0 || lun > 7) {
    SetError(DeviceErrorOpen);
    return -1;
  }
  // A closed disk opens again with a fresh completion event.
  if (event == nullptr) event = library->CreateEvent();
  if (event == nullptr) {
    SetError(DeviceErrorOpen);
    return -1;
  }

  uint8_t inquiry[platform::kAspiShortBlockBytes] = {};
  inquiry[platform::kSrbCmd] = platform::kAspiGetDeviceType;
  inquiry[platform::kSrbHaId] = static_cast<uint8_t>(hostAdapter);
  inquiry[platform::kSrbTarget] = static_cast<uint8_t>(target);
  inquiry[platform::kSrbLun] = static_cast<uint8_t>(lun);
  if (library->SendCommand(inquiry, platform::AspiLocations()) != platform::kAspiStatusComplete) {
    SetError(DeviceErrorOpen);
    return -1;
  }

  if (!WaitUntilReady()) {
    SetError(DeviceErrorOpen);
    return -1;
  }

  uint8_t cdb[10] = {0x25, static_cast<uint8_t>(lun << 5)};
  uint8_t reply[8] = {};
  const CommandResult result = RunCommand(cdb, 10, reply, sizeof reply);
  const uint32_t lastBlock = platform::LoadBe32(reply);
  const uint32_t length = platform::LoadBe32(reply + 4);
  // Seek and Read divide by the block length: a drive that reports none is refused.
  if (result.status != platform::kAspiStatusComplete || length == 0 || length > INT32_MAX) {
    SetError(DeviceErrorOpen);
    return -1;
  }
  blockSize = static_cast<int32_t>(length);
  bytesPerSector = blockSize;
  capacity = static_cast<int32_t>(lastBlock);
  return 0;
}

bool AspiDisk::WaitUntilReady() {
  const uint8_t cdb[6] = {0x00, static_cast<uint8_t>(lun << 5)};
  for (int attempt = 1;; ++attempt) {
    const CommandResult result = RunCommand(cdb, 6, nullptr, 0);
    if (result.timedOut) return false;
    if (result.status == platform::kAspiStatusComplete) return true;
    const bool mayRetry =
        result.status == platform::kAspiStatusError && attempt < kReadyAttempts &&
        (result.senseKey == kSenseNotReady || result.senseKey == kSenseUnitAttention);
    if (!mayRetry) return false;
    library->Pause(kRetryPauseMs);
  }
}

AspiDisk::CommandResult AspiDisk::RunCommand(const uint8_t* cdb, uint8_t cdbLength, void* buffer,
                                             uint32_t bufferLength) {
  uint8_t block[platform::kAspiExecBlockBytes] = {};
  block[platform::kSrbCmd] = platform::kAspiExecScsiCommand;
  block[platform::kSrbHaId] = static_cast<uint8_t>(hostAdapter);
  block[platform::kSrbFlags] = platform::kAspiFlagEventNotify | platform::kAspiFlagDataIn;
  block[platform::kSrbTarget] = static_cast<uint8_t>(target);
  block[platform::kSrbLun] = static_cast<uint8_t>(lun);
  platform::StoreLe32(block + platform::kSrbBufLen, bufferLength);
  block[platform::kSrbSenseLen] = kSenseLength;
  block[platform::kSrbCdbLen] = cdbLength;
  std::memcpy(block + platform::kSrbCdb, cdb, cdbLength);

  CommandResult result{};
  if (event == nullptr) return result;  // closed: nothing can be waited for

  platform::AspiLocations locations;
  locations.buffer = buffer;
  locations.event = event.get();
  event->Reset();
  library->SendCommand(block, locations);

  // ASPI writes the status from elsewhere while the command runs.
  volatile uint8_t* status = block + platform::kSrbStatus;
  if (*status == platform::kAspiStatusPending &&
      event->Wait(kCommandWaitMs) == platform::AspiEvent::WaitResult::kTimeout) {
    result.timedOut = true;
    uint8_t abort[platform::kAspiShortBlockBytes] = {};
    abort[platform::kSrbCmd] = platform::kAspiAbortRequest;
    abort[platform::kSrbHaId] = block[platform::kSrbHaId];
    platform::AspiLocations toAbort;
    toAbort.toAbort = block;
    library->SendCommand(abort, toAbort);
    // The aborted request still refers to `block` and `buffer`: let ASPI finish with them.
    if (*status == platform::kAspiStatusPending) event->Wait(kCommandWaitMs);
  }
  result.status = *status;
  result.senseKey = block[platform::kSrbSense + 2] & 0x0F;
  return result;
}

int AspiDisk::Close() {
  event.reset();
  hostAdapter = 0;
  target = 0;
  lun = 0;
  return 0;
}

int AspiDisk::Read(void* buffer, unsigned count) {
  if (blockSize <= 0 || bytesPerSector < 0) {
    SetError(DeviceErrorRead);
    return -1;
  }
  const uint64_t blocks =
      static_cast<uint64_t>(count) * static_cast<uint64_t>(bytesPerSector) / blockSize;
  if (blocks > UINT32_MAX) {
    SetError(DeviceErrorRead);
    return -1;
  }
  return ReadBlocks(static_cast<uint8_t*>(buffer), static_cast<uint32_t>(blocks));
}

int AspiDisk::ReadBlocks(uint8_t* buffer, uint32_t blocks) {
  const uint32_t size = static_cast<uint32_t>(blockSize);
  // At least one block per command, even when one block exceeds 16384 bytes.
  const uint32_t perCommand = std::clamp<uint32_t>(kChunkBytes / size, 1, kRead6MaxBlocks);
  while (blocks > 0) {
    const uint32_t chunk = std::min(perCommand, blocks);
    uint8_t cdb[10] = {};
    uint8_t cdbLength;
    if (position <= kRead6LastBlock) {
      cdb[0] = 0x08;
      cdb[1] = static_cast<uint8_t>(lun << 5 | ((position >> 16) & 0x1F));
      cdb[2] = static_cast<uint8_t>(position >> 8);
      cdb[3] = static_cast<uint8_t>(position);
      cdb[4] = static_cast<uint8_t>(chunk);  // 256 is sent as 0
      cdbLength = 6;
    } else {
      cdb[0] = 0x28;
      cdb[1] = static_cast<uint8_t>(lun << 5);
      platform::StoreBe32(cdb + 2, position);
      cdb[7] = static_cast<uint8_t>(chunk >> 8);
      cdb[8] = static_cast<uint8_t>(chunk);
      cdbLength = 10;
    }
    const uint64_t bytes = static_cast<uint64_t>(chunk) * size;
    if (bytes > UINT32_MAX ||
        RunCommand(cdb, cdbLength, buffer, static_cast<uint32_t>(bytes)).status !=
            platform::kAspiStatusComplete) {
      SetError(DeviceErrorRead);
      return -1;
    }
    buffer += bytes;
    position += chunk;
    blocks -= chunk;
  }
  return 0;
}

int AspiDisk::Seek(int sector, int origin) {
  if (blockSize <= 0) {
    SetError(DeviceErrorRead);
    return -1;
  }
  int64_t bytes = static_cast<int64_t>(sector) * bytesPerSector;
  if (origin == 0) bytes += static_cast<int64_t>(baseSector) * bytesPerSector;
  // Block addresses are unsigned 32-bit: a negative distance wraps, as on the drive.
  const uint32_t blocks = static_cast<uint32_t>(bytes / blockSize);
  if (origin == 1) {
    position += blocks;
  } else if (origin == 2) {
    position = static_cast<uint32_t>(capacity) + 1 + blocks;
  } else {
    position = blocks;
  }
  return 0;
}

int AspiDisk::SetName(const char* text) {
  if (text == nullptr) text = "";
  name.Set(text);
  const char* p = text;
  // "%d:%d:%d" reads nothing from an empty or blank text (the end comes first).
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  if (*p == '\0') return 0;
  int32_t numbers[3];
  int read = 0;
  while (read < 3) {
    if (read > 0) {
      if (*p != ':') break;
      ++p;
    }
    if (!ScanInt(p, &numbers[read])) break;
    ++read;
  }
  if (read >= 1) hostAdapter = numbers[0];
  target = read >= 2 ? numbers[1] : 0;
  lun = read >= 3 ? numbers[2] : 0;
  return 0;
}
