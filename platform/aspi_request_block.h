#ifndef PLATFORM_ASPI_REQUEST_BLOCK_H_
#define PLATFORM_ASPI_REQUEST_BLOCK_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// The request blocks (SRBs) of ASPI for Win32 as the users of AspiLibrary build them: the
// byte-packed layout of 32-bit Windows, numbers little-endian, whatever the process. Every
// block starts with the same 8-byte header: SRB_Cmd, SRB_Status, SRB_HaId, SRB_Flags and
// 4 reserved bytes.

// Sizes of the request blocks.
constexpr int kAspiExecBlockBytes = 80;   // SRB_ExecSCSICmd
constexpr int kAspiShortBlockBytes = 12;  // SRB_GDEVBlock, SRB_Abort

// SRB_Cmd values.
constexpr uint8_t kAspiGetDeviceType = 1;    // SC_GET_DEV_TYPE: an SRB_GDEVBlock
constexpr uint8_t kAspiExecScsiCommand = 2;  // SC_EXEC_SCSI_CMD: an SRB_ExecSCSICmd
constexpr uint8_t kAspiAbortRequest = 3;     // SC_ABORT_SRB: an SRB_Abort

// SRB_Status values, which SendASPI32Command also returns.
constexpr uint8_t kAspiStatusPending = 0x00;         // SS_PENDING
constexpr uint8_t kAspiStatusComplete = 0x01;        // SS_COMP
constexpr uint8_t kAspiStatusAborted = 0x02;         // SS_ABORTED
constexpr uint8_t kAspiStatusError = 0x04;           // SS_ERR
constexpr uint8_t kAspiStatusInvalidCommand = 0x80;  // SS_INVALID_CMD
constexpr uint8_t kAspiStatusNoDevice = 0x82;        // SS_NO_DEVICE

// SRB_Flags bits.
constexpr uint8_t kAspiFlagDataIn = 0x08;       // SRB_DIR_IN
constexpr uint8_t kAspiFlagDataOut = 0x10;      // SRB_DIR_OUT
constexpr uint8_t kAspiFlagEventNotify = 0x40;  // SRB_EVENT_NOTIFY

// SRB_HaStat values of host faults.
constexpr uint8_t kAspiHostCommandTimeout = 0x0B;    // the command timed out
constexpr uint8_t kAspiHostSelectionTimeout = 0x11;  // no device answered selection

// Offsets in the header.
constexpr size_t kSrbCmd = 0;
constexpr size_t kSrbStatus = 1;
constexpr size_t kSrbHaId = 2;
constexpr size_t kSrbFlags = 3;
// Offsets in SRB_GDEVBlock and SRB_ExecSCSICmd.
constexpr size_t kSrbTarget = 8;
constexpr size_t kSrbLun = 9;
constexpr size_t kSrbDeviceType = 10;  // SRB_GDEVBlock only
// Offsets in SRB_ExecSCSICmd: SRB_BufLen and the 4-byte SRB_BufPointer and SRB_PostProc;
// bytes 28-47 are reserved.
constexpr size_t kSrbBufLen = 12;
constexpr size_t kSrbBufPointer = 16;
constexpr size_t kSrbSenseLen = 20;
constexpr size_t kSrbCdbLen = 21;
constexpr size_t kSrbHaStat = 22;
constexpr size_t kSrbTargStat = 23;
constexpr size_t kSrbPostProc = 24;
constexpr size_t kSrbCdb = 48;  // CDBByte
constexpr size_t kSrbCdbBytes = 16;
constexpr size_t kSrbSense = 64;  // SenseArea
constexpr size_t kSrbSenseBytes = 16;
// Offset in SRB_Abort: the 4-byte SRB_ToAbort.
constexpr size_t kSrbToAbort = 8;

// SRB_ExecSCSICmd and SRB_Abort as ASPI for Win32 declares them, with the pointers of the
// process: the layout above on 32-bit Windows, a wider one on 64-bit Windows, where the
// Win32 library translates between the two. SRB_GDEVBlock holds no pointer and is the
// same everywhere.
#pragma pack(push, 1)
struct AspiNativeExecBlock {
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
  uint8_t cdb[kSrbCdbBytes];
  uint8_t sense[kSrbSenseBytes];
};
struct AspiNativeAbortBlock {
  uint8_t cmd;
  uint8_t status;
  uint8_t haId;
  uint8_t flags;
  uint32_t headerReserved;
  void* toAbort;
};
#pragma pack(pop)

// Up to the first pointer the layouts agree; with 4-byte pointers they are one.
static_assert(offsetof(AspiNativeExecBlock, status) == kSrbStatus &&
                  offsetof(AspiNativeExecBlock, target) == kSrbTarget &&
                  offsetof(AspiNativeExecBlock, bufLen) == kSrbBufLen,
              "SRB_ExecSCSICmd header and address");
static_assert(sizeof(void*) != 4 || (sizeof(AspiNativeExecBlock) == kAspiExecBlockBytes &&
                                     offsetof(AspiNativeExecBlock, haStat) == kSrbHaStat &&
                                     offsetof(AspiNativeExecBlock, postProc) == kSrbPostProc &&
                                     offsetof(AspiNativeExecBlock, cdb) == kSrbCdb &&
                                     offsetof(AspiNativeExecBlock, sense) == kSrbSense),
              "SRB_ExecSCSICmd is 80 bytes on 32-bit Windows");
static_assert(sizeof(void*) != 4 || (sizeof(AspiNativeAbortBlock) == kAspiShortBlockBytes &&
                                     offsetof(AspiNativeAbortBlock, toAbort) == kSrbToAbort),
              "SRB_Abort is 12 bytes on 32-bit Windows");

}  // namespace platform

#endif  // PLATFORM_ASPI_REQUEST_BLOCK_H_
