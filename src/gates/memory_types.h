// Memory-type codes: the numbers that name PLC memory and Genius block data in a hardware address,
// and that travel as the segment selector of Read Device and Write Device datagrams. The codes and
// the regions that name them are the table in zurpm/memories.h.
#pragma once

#include <cstdint>

#include "zurpm/memories.h"

namespace zurpm {

// One Genius device's global-data table, and what it holds.
constexpr int32_t globalDataBytes = 128;

}  // namespace zurpm
