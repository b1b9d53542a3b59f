#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/byte_order.h"
#include "platform/vwin32_port.h"
#include "platform/vwin32_request_block.h"
#include "platform/win32/win32_support.h"

namespace platform {
namespace {

using win32::ScopedHandle;

// VWIN32_DIOC_DOS_IOCTL: interrupt 21h function 44h with the DIOC_REGISTERS block.
constexpr DWORD kDosIoctl = 1;

// The 32-bit linear address VWIN32 takes for `pointer`; false when the process's pointer
// does not fit (VWIN32 exists only on the 32-bit Windows 95 family).
bool LinearAddress(const void* pointer, uint32_t* address) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(pointer);
  if (value > UINT32_MAX) return false;
  *address = static_cast<uint32_t>(value);
  return true;
}

uint16_t DataSelector() {
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
  uint16_t selector = 0;
  __asm__("mov %%ds, %0" : "=r"(selector));
  return selector;
#else
  return 0;
#endif
}

class Win32Vwin32Port final : public Vwin32Port {
 public:
  explicit Win32Vwin32Port(HANDLE handle) : handle(handle) {}

  bool BlockDeviceRequest(uint8_t* registers, uint8_t* block, size_t blockBytes,
                          void* buffer) override {
    uint32_t blockAddress = 0;
    if (!LinearAddress(block, &blockAddress)) return Fail(ERROR_INVALID_ADDRESS);
    StoreLe32(registers + kVwin32RegEdx, blockAddress);
    // The minor code, in CL, tells a read block from a parameter block.
    if (registers[kVwin32RegEcx] == static_cast<uint8_t>(kVwin32ReadTrack)) {
      uint32_t bufferAddress = 0;
      if (blockBytes < kVwin32ReadBlockBytes) return Fail(ERROR_INVALID_PARAMETER);
      if (!LinearAddress(buffer, &bufferAddress)) return Fail(ERROR_INVALID_ADDRESS);
      StoreLe32(block + kVwin32ReadBuffer, bufferAddress);
      StoreLe16(block + kVwin32ReadSelector, DataSelector());
    }
    DWORD returned = 0;
    if (!DeviceIoControl(handle.Get(), kDosIoctl, registers,
                         static_cast<DWORD>(kVwin32RegisterBytes), registers,
                         static_cast<DWORD>(kVwin32RegisterBytes), &returned, nullptr)) {
      return Fail(GetLastError());
    }
    return true;
  }

  int LastError() override { return static_cast<int>(lastError); }

 private:
  bool Fail(DWORD error) {
    lastError = error;
    return false;
  }

  ScopedHandle handle;
  DWORD lastError = 0;
};

class Win32Vwin32Service final : public Vwin32Service {
 public:
  std::unique_ptr<Vwin32Port> Open(int* systemError) override {
    // The VxD is opened with no access, no sharing and creation disposition 0, as Windows
    // 95 expects for devices; Windows NT has no such device and refuses the call.
    HANDLE handle =
        CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *systemError = static_cast<int>(GetLastError());
      return nullptr;
    }
    return std::make_unique<Win32Vwin32Port>(handle);
  }
};

}  // namespace

std::unique_ptr<Vwin32Service> NewSystemVwin32Service() {
  return std::make_unique<Win32Vwin32Service>();
}

}  // namespace platform
