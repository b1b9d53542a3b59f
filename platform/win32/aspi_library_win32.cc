#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/aspi_library.h"
#include "platform/aspi_request_block.h"
#include "platform/byte_order.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

// One SCSI command handed to ASPI: the block in the library's layout and the caller's
// block that receives what ASPI writes into it. ASPI may write into the native block until
// the command completes, so it is freed only then.
struct ExecRequest {
  AspiNativeExecBlock native{};
  uint8_t* caller = nullptr;  // null once the caller's block may be gone

  bool Pending() const {
    return reinterpret_cast<const volatile uint8_t*>(&native)[kSrbStatus] == kAspiStatusPending;
  }

  // Copies SRB_Status, the adapter and target statuses and the sense area to the caller.
  void Deliver() const {
    if (caller == nullptr) return;
    const volatile AspiNativeExecBlock* live = &native;
    caller[kSrbHaStat] = live->haStat;
    caller[kSrbTargStat] = live->targStat;
    for (size_t i = 0; i < kSrbSenseBytes; ++i) caller[kSrbSense + i] = live->sense[i];
    // The status last: once it is no longer pending the rest is in place.
    caller[kSrbStatus] = live->status;
  }
};

class Win32AspiEvent final : public AspiEvent {
 public:
  explicit Win32AspiEvent(HANDLE handle) : handle(handle) {}

  void Reset() override { ResetEvent(handle.Get()); }

  WaitResult Wait(uint32_t milliseconds) override {
    const DWORD result = WaitForSingleObject(handle.Get(), milliseconds);
    // What ASPI wrote while the caller waited reaches the caller's block now.
    if (current != nullptr) current->Deliver();
    return result == WAIT_OBJECT_0 ? WaitResult::kSignalled : WaitResult::kTimeout;
  }

  HANDLE Handle() const { return handle.Get(); }
  void Track(std::shared_ptr<ExecRequest> request) { current = std::move(request); }

 private:
  win32::ScopedHandle handle;
  std::shared_ptr<ExecRequest> current;  // the last command sent with this event
};

// ASPI for Win32 from "wnaspi32.dll". The library is never unloaded: a command that timed
// out may still be completed by it later.
class Win32AspiLibrary final : public AspiLibrary {
 public:
  using GetSupportInfoFunction = DWORD(__cdecl*)();
  using SendCommandFunction = DWORD(__cdecl*)(void*);

  LoadResult Load() override {
    LoadResult result = LoadResult::kAlreadyLoaded;
    if (module == nullptr) {
      module = LoadLibraryA("wnaspi32.dll");
      if (module == nullptr) return LoadResult::kUnavailable;
      result = LoadResult::kLoadedNow;
    }
    getSupportInfo = EntryPoint<GetSupportInfoFunction>("GetASPI32SupportInfo");
    sendCommand = EntryPoint<SendCommandFunction>("SendASPI32Command");
    return result;
  }

  bool HasGetSupportInfo() override { return getSupportInfo != nullptr; }
  bool HasSendCommand() override { return sendCommand != nullptr; }

  uint32_t GetSupportInfo() override {
    if (getSupportInfo == nullptr) return 0;
    return getSupportInfo();
  }

  uint32_t SendCommand(uint8_t* block, const AspiLocations& locations) override {
    if (sendCommand == nullptr) return Refuse(block);
    switch (block[kSrbCmd]) {
      case kAspiGetDeviceType:
        // SRB_GDEVBlock holds no pointer: the same 12 bytes on every Windows.
        return sendCommand(block);
      case kAspiExecScsiCommand:
        return Execute(block, locations);
      case kAspiAbortRequest:
        return Abort(block, locations.toAbort);
      default:
        return Refuse(block);
    }
  }

  std::unique_ptr<AspiEvent> CreateEvent() override {
    // Auto-reset, not signalled, unnamed.
    HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (handle == nullptr) return nullptr;
    return std::make_unique<Win32AspiEvent>(handle);
  }

  void Pause(uint32_t milliseconds) override { Sleep(milliseconds); }

 private:
  // GetProcAddress returns a generic function pointer; the cast goes through void (*)(),
  // the type that stands for any function.
  template <typename Function>
  Function EntryPoint(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  }

  static uint32_t Refuse(uint8_t* block) {
    block[kSrbStatus] = kAspiStatusInvalidCommand;
    return kAspiStatusInvalidCommand;
  }

  uint32_t Execute(uint8_t* block, const AspiLocations& locations) {
    ForgetFinishedRequests();
    auto request = std::make_shared<ExecRequest>();
    AspiNativeExecBlock& native = request->native;
    native.cmd = kAspiExecScsiCommand;
    native.haId = block[kSrbHaId];
    native.flags = block[kSrbFlags];
    native.target = block[kSrbTarget];
    native.lun = block[kSrbLun];
    native.bufLen = LoadLe32(block + kSrbBufLen);
    native.bufPointer = static_cast<uint8_t*>(locations.buffer);
    native.senseLen = block[kSrbSenseLen];
    native.cdbLen = block[kSrbCdbLen];
    std::memcpy(native.cdb, block + kSrbCdb, kSrbCdbBytes);
    // With SRB_EVENT_NOTIFY, SRB_PostProc carries the event handle ASPI signals.
    auto* event = static_cast<Win32AspiEvent*>(locations.event);
    if ((native.flags & kAspiFlagEventNotify) != 0) {
      if (event == nullptr) return Refuse(block);
      native.postProc = event->Handle();
    }
    request->caller = block;
    requests.push_back(request);
    if (event != nullptr) event->Track(request);
    const uint32_t result = sendCommand(&request->native);
    // Any result but SS_PENDING means the request was not queued: it will never complete
    // or signal, and its status is the result.
    if (result != kAspiStatusPending && request->Pending()) {
      request->native.status = static_cast<uint8_t>(result);
    }
    request->Deliver();
    return result;
  }

  uint32_t Abort(uint8_t* block, const uint8_t* toAbort) {
    auto found = std::find_if(requests.rbegin(), requests.rend(),
                              [toAbort](const std::shared_ptr<ExecRequest>& request) {
                                return request->caller == toAbort;
                              });
    if (found == requests.rend()) return Refuse(block);
    AspiNativeAbortBlock abort{};
    abort.cmd = kAspiAbortRequest;
    abort.haId = block[kSrbHaId];
    abort.toAbort = &(*found)->native;
    const uint32_t result = sendCommand(&abort);
    block[kSrbStatus] = abort.status;
    (*found)->Deliver();
    return result;
  }

  // Before the next command: a finished request's block is ASPI's no more and goes; one
  // still pending (a timeout ASPI never completed) is kept, but no longer reports to its
  // caller's block, which is gone by now.
  void ForgetFinishedRequests() {
    for (auto& request : requests) request->caller = nullptr;
    requests.erase(std::remove_if(requests.begin(), requests.end(),
                                  [](const std::shared_ptr<ExecRequest>& request) {
                                    return !request->Pending();
                                  }),
                   requests.end());
  }

  HMODULE module = nullptr;
  GetSupportInfoFunction getSupportInfo = nullptr;
  SendCommandFunction sendCommand = nullptr;
  std::vector<std::shared_ptr<ExecRequest>> requests;
};

}  // namespace

std::unique_ptr<AspiLibrary> NewSystemAspiLibrary() { return std::make_unique<Win32AspiLibrary>(); }

}  // namespace platform
