// A stand-in for ASPI for Win32, built as "wnaspi32.dll" beside the test program that
// loads it. It reads requests in the layout ASPI for Win32 has in a process of this
// pointer width and answers by the command's operation code:
//   TEST UNIT READY  completes before returning (SS_COMP, or SS_ERR with sense key 2
//                    NOT READY after FakeAspiSetNotReady(1));
//   READ CAPACITY    returns SS_PENDING and completes 50 ms later on a thread of its own,
//                    filling the 8-byte reply and signalling the event;
//   READ(6)          returns SS_PENDING and never completes until aborted (SS_ABORTED).
// FakeAspiLastRequest copies the last execute request as it was received.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {

#pragma pack(push, 1)
struct ExecBlock {
  uint8_t cmd;
  uint8_t status;
  uint8_t haId;
  uint8_t flags;
  uint32_t headerReserved;
  uint8_t target;
  uint8_t lun;
  uint16_t reserved1;
  uint32_t bufLen;
  uint8_t* bufPointer;
  uint8_t senseLen;
  uint8_t cdbLen;
  uint8_t haStat;
  uint8_t targStat;
  void* postProc;
  void* reserved2;
  uint8_t reserved3[16];
  uint8_t cdb[16];
  uint8_t sense[16];
};
struct AbortBlock {
  uint8_t cmd;
  uint8_t status;
  uint8_t haId;
  uint8_t flags;
  uint32_t headerReserved;
  void* toAbort;
};
#pragma pack(pop)

ExecBlock lastRequest;
bool notReady = false;

DWORD WINAPI CompleteCapacity(void* parameter) {
  auto* block = static_cast<ExecBlock*>(parameter);
  Sleep(50);
  const uint8_t reply[8] = {0x00, 0x00, 0x03, 0xE7, 0x00, 0x00, 0x08, 0x00};  // 999, 2048
  std::memcpy(block->bufPointer, reply, sizeof reply);
  block->status = 1;
  if ((block->flags & 0x40) != 0) SetEvent(static_cast<HANDLE>(block->postProc));
  return 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() { return 0x0101; }

__declspec(dllexport) DWORD __cdecl SendASPI32Command(void* request) {
  const uint8_t command = *static_cast<uint8_t*>(request);
  if (command == 3) {
    auto* abort = static_cast<AbortBlock*>(request);
    auto* target = static_cast<ExecBlock*>(abort->toAbort);
    if (target->status == 0) target->status = 2;  // SS_ABORTED
    abort->status = 1;
    return 1;
  }
  if (command != 2) return 0x80;
  auto* block = static_cast<ExecBlock*>(request);
  lastRequest = *block;
  switch (block->cdb[0]) {
    case 0x00:
      if (notReady) {
        block->sense[2] = 0x02;
        block->targStat = 0x02;
        block->status = 4;
      } else {
        block->status = 1;
      }
      if ((block->flags & 0x40) != 0) SetEvent(static_cast<HANDLE>(block->postProc));
      return block->status;
    case 0x25: {
      HANDLE thread = CreateThread(nullptr, 0, CompleteCapacity, block, 0, nullptr);
      if (thread == nullptr) return 0xE1;
      CloseHandle(thread);
      return 0;
    }
    default:
      return 0;
  }
}

__declspec(dllexport) void __cdecl FakeAspiSetNotReady(int value) { notReady = value != 0; }

__declspec(dllexport) void __cdecl FakeAspiLastRequest(void* out, int bytes) {
  std::memcpy(out, &lastRequest,
              bytes < static_cast<int>(sizeof lastRequest) ? static_cast<size_t>(bytes)
                                                           : sizeof lastRequest);
}

}  // extern "C"
