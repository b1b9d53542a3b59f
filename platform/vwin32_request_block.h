#ifndef PLATFORM_VWIN32_REQUEST_BLOCK_H_
#define PLATFORM_VWIN32_REQUEST_BLOCK_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// The blocks of an MS-DOS generic block-device request carried by the Windows 95 VWIN32
// device: the DIOC_REGISTERS block and the parameter or read block reg_EDX locates.

// Size of the DIOC_REGISTERS block: reg_EBX, reg_EDX, reg_ECX, reg_EAX, reg_EDI, reg_ESI
// and reg_Flags, seven little-endian 32-bit values in this order.
constexpr size_t kVwin32RegisterBytes = 28;

// Offsets in DIOC_REGISTERS of the registers a block-device request uses.
constexpr size_t kVwin32RegEbx = 0;     // the drive, 1 for A
constexpr size_t kVwin32RegEdx = 4;     // the parameter or read block
constexpr size_t kVwin32RegEcx = 8;     // category 08h in CH, the minor code in CL
constexpr size_t kVwin32RegEax = 12;    // the function, kVwin32GenericIoctl
constexpr size_t kVwin32RegFlags = 24;  // bit 0, the carry, set when the service failed
constexpr uint32_t kVwin32CarryFlag = 1;

// Interrupt 21h function 440Dh (generic IOCTL for block devices) and its reg_ECX values.
constexpr uint32_t kVwin32GenericIoctl = 0x440D;
constexpr uint32_t kVwin32GetDeviceParameters = 0x0860;  // minor code 60h
constexpr uint32_t kVwin32ReadTrack = 0x0861;            // minor code 61h

// The device parameter block of minor code 60h: little-endian fields at these offsets.
constexpr size_t kVwin32ParameterBytes = 40;
constexpr size_t kVwin32ParamBytesPerSector = 7;
constexpr size_t kVwin32ParamSectorsPerTrack = 20;
constexpr size_t kVwin32ParamHeads = 22;
constexpr size_t kVwin32ParamHiddenSectors = 24;
constexpr size_t kVwin32ParamLargeSectorCount = 28;

// The read block of minor code 61h: 16-bit head, cylinder, first sector and sector count,
// then the buffer as a 32-bit offset and a 16-bit selector.
constexpr size_t kVwin32ReadBlockBytes = 15;
constexpr size_t kVwin32ReadHead = 1;
constexpr size_t kVwin32ReadCylinder = 3;
constexpr size_t kVwin32ReadSector = 5;
constexpr size_t kVwin32ReadCount = 7;
constexpr size_t kVwin32ReadBuffer = 9;
constexpr size_t kVwin32ReadSelector = 13;

}  // namespace platform

#endif  // PLATFORM_VWIN32_REQUEST_BLOCK_H_
