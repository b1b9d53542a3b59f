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

#include "platform/aspi_request_block.h"

namespace {

using platform::AspiNativeAbortBlock;
using platform::AspiNativeExecBlock;

AspiNativeExecBlock lastRequest;
bool notReady = false;

DWORD WINAPI CompleteCapacity(void* parameter) {
  auto* block = static_cast<AspiNativeExecBlock*>(parameter);
  Sleep(50);
  const uint8_t reply[8] = {0x00, 0x00, 0x03, 0xE7, 0x00, 0x00, 0x08, 0x00};  // 999, 2048
  std::memcpy(block->bufPointer, reply, sizeof reply);
  block->status = platform::kAspiStatusComplete;
  if ((block->flags & platform::kAspiFlagEventNotify) != 0) {
    SetEvent(static_cast<HANDLE>(block->postProc));
  }
  return 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() { return 0x0101; }

__declspec(dllexport) DWORD __cdecl SendASPI32Command(void* request) {
  const uint8_t command = *static_cast<uint8_t*>(request);
  if (command == platform::kAspiAbortRequest) {
    auto* abort = static_cast<AspiNativeAbortBlock*>(request);
    auto* target = static_cast<AspiNativeExecBlock*>(abort->toAbort);
    if (target->status == platform::kAspiStatusPending) {
      target->status = platform::kAspiStatusAborted;
    }
    abort->status = platform::kAspiStatusComplete;
    return platform::kAspiStatusComplete;
  }
  if (command != platform::kAspiExecScsiCommand) return platform::kAspiStatusInvalidCommand;
  auto* block = static_cast<AspiNativeExecBlock*>(request);
  lastRequest = *block;
  switch (block->cdb[0]) {
    case 0x00:
      if (notReady) {
        block->sense[2] = 0x02;
        block->targStat = 0x02;
        block->status = platform::kAspiStatusError;
      } else {
        block->status = platform::kAspiStatusComplete;
      }
      if ((block->flags & platform::kAspiFlagEventNotify) != 0) {
        SetEvent(static_cast<HANDLE>(block->postProc));
      }
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
