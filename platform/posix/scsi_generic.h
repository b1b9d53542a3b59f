#ifndef PLATFORM_POSIX_SCSI_GENERIC_H_
#define PLATFORM_POSIX_SCSI_GENERIC_H_

// The parts of the Linux SCSI generic (SG_IO) carrier of ASPI requests that need no
// device: finding a device in sysfs and turning an SG_IO outcome into ASPI status bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/aspi_library.h"

namespace platform {

// The SCSI host count under `sysfsRoot` ("/sys"): entries of class/scsi_host.
int CountScsiHosts(const std::string& sysfsRoot);

// Whether a device sits at host:0:target:lun (bus/scsi/devices/H:0:T:L), the address
// lsscsi prints as [H:0:T:L].
bool ScsiAddressExists(const std::string& sysfsRoot, int host, int target, int lun);

// The peripheral device type sysfs reports for that address, or -1.
int ScsiDeviceType(const std::string& sysfsRoot, int host, int target, int lun);

// The SCSI generic node ("sg2") whose class/scsi_generic/sgN/device link ends in
// host:0:target:lun; empty when there is none.
std::string FindScsiGenericNode(const std::string& sysfsRoot, int host, int target, int lun);

// The outcome of one SG_IO request, as far as ASPI reports it.
struct ScsiGenericOutcome {
  enum Kind { kNoDevice, kNotCarried, kCarried } kind = kNotCarried;
  uint8_t scsiStatus = 0;     // sg_io_hdr.status
  uint16_t hostStatus = 0;    // sg_io_hdr.host_status (DID_*)
  uint16_t driverStatus = 0;  // sg_io_hdr.driver_status (DRIVER_*)
  const uint8_t* sense = nullptr;
  size_t senseBytes = 0;  // sg_io_hdr.sb_len_wr
};

// Fills SRB_Status (1), SRB_HaStat (22), SRB_TargStat (23) and the sense area (64, at
// most SRB_SenseLen and 16 bytes) of the 80-byte SRB_ExecSCSICmd `block` from `outcome`.
void FillExecStatus(uint8_t* block, const ScsiGenericOutcome& outcome);

// ASPI carried over SG_IO on the /dev/sg* nodes below `devRoot`, found through sysfs
// below `sysfsRoot`. Requests complete before SendCommand returns; the events given to it
// must come from its own CreateEvent.
std::unique_ptr<AspiLibrary> NewScsiGenericAspiLibrary(const std::string& sysfsRoot,
                                                       const std::string& devRoot);

}  // namespace platform

#endif  // PLATFORM_POSIX_SCSI_GENERIC_H_
