#ifndef PLATFORM_VWIN32_PORT_H_
#define PLATFORM_VWIN32_PORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/vwin32_request_block.h"

namespace platform {

// An open handle on the Windows 95 VWIN32 device, which carries MS-DOS interrupt 21h
// function 440Dh (generic block-device) requests. Closed when destroyed.
class Vwin32Port {
 public:
  Vwin32Port() = default;
  Vwin32Port(const Vwin32Port&) = delete;
  Vwin32Port& operator=(const Vwin32Port&) = delete;
  virtual ~Vwin32Port() = default;

  // Sends one VWIN32_DIOC_DOS_IOCTL request. `registers` (kVwin32RegisterBytes) is the
  // input and receives the output registers; the carry set on return means the DOS
  // service failed. reg_EDX must locate `block` (`blockBytes` long: the parameter block of
  // minor code 60h, or the read block of minor code 61h), and the read block's buffer
  // offset and selector must locate `buffer`; these fields cannot hold a pointer of every
  // process, so the caller leaves them 0 and the port fills them in.
  // `buffer` (null for minor code 60h) must hold the sectors the read block asks for.
  // True when the request was carried out (the carry bit still decides its outcome);
  // false with the system error in LastError().
  virtual bool BlockDeviceRequest(uint8_t* registers, uint8_t* block, size_t blockBytes,
                                  void* buffer) = 0;
  // The system error of the last failed request.
  virtual int LastError() = 0;
};

// Opens the VWIN32 device ("\\.\VWIN32").
class Vwin32Service {
 public:
  Vwin32Service() = default;
  Vwin32Service(const Vwin32Service&) = delete;
  Vwin32Service& operator=(const Vwin32Service&) = delete;
  virtual ~Vwin32Service() = default;

  // A new handle that belongs to the caller, or null with the system error in
  // *systemError (always so outside Windows 95).
  virtual std::unique_ptr<Vwin32Port> Open(int* systemError) = 0;
};

std::unique_ptr<Vwin32Service> NewSystemVwin32Service();

}  // namespace platform

#endif  // PLATFORM_VWIN32_PORT_H_
