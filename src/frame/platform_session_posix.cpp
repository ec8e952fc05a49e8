// libxml2 needs no per-thread set-up.
#include "frame/platform_session.h"

namespace tessary {

bool EnterPlatformSession() noexcept { return true; }
void LeavePlatformSession() noexcept {}

}  // namespace tessary
