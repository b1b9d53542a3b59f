#ifndef PLATFORM_ASPI_LIBRARY_H_
#define PLATFORM_ASPI_LIBRARY_H_

#include <cstdint>
#include <memory>

#include "platform/aspi_request_block.h"

namespace platform {

// The completion event of ASPI requests: auto-reset, created not signalled. Closed when
// destroyed.
class AspiEvent {
 public:
  enum class WaitResult { kSignalled, kTimeout };

  AspiEvent() = default;
  AspiEvent(const AspiEvent&) = delete;
  AspiEvent& operator=(const AspiEvent&) = delete;
  virtual ~AspiEvent() = default;

  virtual void Reset() = 0;
  // Waits at most `milliseconds` for the event. kSignalled resets it; a failed wait counts
  // as kTimeout.
  virtual WaitResult Wait(uint32_t milliseconds) = 0;
};

// What the pointer fields of a request block locate. Those fields are 4 bytes wide and
// cannot hold a pointer of every process, so the caller leaves them 0 and the library
// fills them in from here.
struct AspiLocations {
  void* buffer = nullptr;            // SRB_BufPointer (kSrbBufPointer) of SC_EXEC_SCSI_CMD
  AspiEvent* event = nullptr;        // SRB_PostProc (kSrbPostProc) with SRB_EVENT_NOTIFY
  const uint8_t* toAbort = nullptr;  // SRB_ToAbort (kSrbToAbort) of SC_ABORT_SRB
};

// ASPI for Win32 ("wnaspi32.dll"), loaded at run time. One object serves the whole
// process: it keeps the library, once loaded, until it is destroyed, and with it the host
// adapter count that its users read when the library is first loaded.
class AspiLibrary {
 public:
  enum class LoadResult { kUnavailable, kLoadedNow, kAlreadyLoaded };

  AspiLibrary() = default;
  AspiLibrary(const AspiLibrary&) = delete;
  AspiLibrary& operator=(const AspiLibrary&) = delete;
  virtual ~AspiLibrary() = default;

  // Loads the library unless it is already held. kLoadedNow only on the call that loaded
  // it; after kUnavailable a later call tries again.
  virtual LoadResult Load() = 0;
  // Whether the loaded library has each entry point.
  virtual bool HasGetSupportInfo() = 0;
  virtual bool HasSendCommand() = 0;
  // GetASPI32SupportInfo: bits 15-8 the status (1 SS_COMP), bits 7-0 the host adapters.
  // Only with the library loaded and the entry point present.
  virtual uint32_t GetSupportInfo() = 0;
  // SendASPI32Command with the request block `block` (80 bytes for SC_EXEC_SCSI_CMD, 12
  // for SC_GET_DEV_TYPE and SC_ABORT_SRB). ASPI writes SRB_Status (byte 1) and, for an
  // exec request, the sense area, possibly after returning; it signals the event at
  // completion. `block`, the buffer and the event (one made by this library's
  // CreateEvent) must stay live until then. Returns the function's result (1 SS_COMP for
  // an SC_GET_DEV_TYPE of an existing device).
  virtual uint32_t SendCommand(uint8_t* block, const AspiLocations& locations) = 0;
  // A new completion event that belongs to the caller, or null when none can be made.
  virtual std::unique_ptr<AspiEvent> CreateEvent() = 0;
  // Waits `milliseconds` (Sleep).
  virtual void Pause(uint32_t milliseconds) = 0;

  // The host adapter count shared by every user of this library; -1 until one is known.
  int HostAdapterCount() const { return hostAdapterCount; }
  void SetHostAdapterCount(int count) { hostAdapterCount = count; }

 private:
  int hostAdapterCount = -1;
};

std::unique_ptr<AspiLibrary> NewSystemAspiLibrary();

}  // namespace platform

#endif  // PLATFORM_ASPI_LIBRARY_H_
