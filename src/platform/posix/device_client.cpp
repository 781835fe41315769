// Placeholder until the XPORTIO socket client lands.
#include "platform/platform.h"

namespace zurpm::platform {
intptr_t deviceOpen() { return -1; }
bool deviceControl(intptr_t, uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t*) { return false; }
void deviceClose(intptr_t) {}
}  // namespace zurpm::platform
