#include <memory>

#include "platform/platform_family.h"

namespace platform {
namespace {

// POSIX systems read drives as Windows NT does: by a path opened as a file.
class PosixPlatformFamilyQuery final : public PlatformFamilyQuery {
 public:
  PlatformFamily Family() override { return PlatformFamily::kNt; }
};

}  // namespace

std::unique_ptr<PlatformFamilyQuery> NewSystemPlatformFamilyQuery() {
  return std::make_unique<PosixPlatformFamilyQuery>();
}

}  // namespace platform
