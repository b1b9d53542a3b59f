#include <cerrno>
#include <memory>

#include "platform/vwin32_port.h"

namespace platform {
namespace {

// There is no VWIN32 device outside Windows 95.
class PosixVwin32Service final : public Vwin32Service {
 public:
  std::unique_ptr<Vwin32Port> Open(int* systemError) override {
    *systemError = ENOSYS;
    return nullptr;
  }
};

}  // namespace

std::unique_ptr<Vwin32Service> NewSystemVwin32Service() {
  return std::make_unique<PosixVwin32Service>();
}

}  // namespace platform
