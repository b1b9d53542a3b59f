#ifndef PLATFORM_PLATFORM_FAMILY_H_
#define PLATFORM_PLATFORM_FAMILY_H_

#include <memory>

namespace platform {

// The operating-system families whose raw disk access differs.
enum class PlatformFamily {
  kOther,  // neither: only ASPI addresses can be reached
  kNt,     // Windows NT: physical-drive paths (and block devices on POSIX)
  kWin95,  // Windows 95: drive letters through VWIN32
};

// Answers which family runs (GetVersionExA on Windows).
class PlatformFamilyQuery {
 public:
  PlatformFamilyQuery() = default;
  PlatformFamilyQuery(const PlatformFamilyQuery&) = delete;
  PlatformFamilyQuery& operator=(const PlatformFamilyQuery&) = delete;
  virtual ~PlatformFamilyQuery() = default;

  // kOther also when the query fails.
  virtual PlatformFamily Family() = 0;
};

std::unique_ptr<PlatformFamilyQuery> NewSystemPlatformFamilyQuery();

}  // namespace platform

#endif  // PLATFORM_PLATFORM_FAMILY_H_
