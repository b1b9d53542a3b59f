#include <memory>

#include "platform/status_terminal.h"

namespace platform {

// The console writer turns whole lines into UTF-16 (ConsoleWriter), so a line that is
// rewritten in place would only show when it ends.
std::unique_ptr<StatusTerminal> NewErrorStatusTerminal() { return nullptr; }

}  // namespace platform
