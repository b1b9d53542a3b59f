#include <memory>

#include "platform/aspi_library.h"

namespace platform {
namespace {

// A browser reaches no SCSI host adapter: the library never loads, so a SCSI address
// cannot be opened.
class WebAspiLibrary final : public AspiLibrary {
 public:
  LoadResult Load() override { return LoadResult::kUnavailable; }
  bool HasGetSupportInfo() override { return false; }
  bool HasSendCommand() override { return false; }
  uint32_t GetSupportInfo() override { return 0; }
  uint32_t SendCommand(uint8_t*, const AspiLocations&) override { return 0; }
  std::unique_ptr<AspiEvent> CreateEvent() override { return nullptr; }
  void Pause(uint32_t) override {}
};

}  // namespace

std::unique_ptr<AspiLibrary> NewSystemAspiLibrary() { return std::make_unique<WebAspiLibrary>(); }

}  // namespace platform
