// Names of the memory-type codes that a gate definition writes, as a PLC programmer knows them.
#pragma once

#include <cstdint>

namespace zurtool {

// "%R registers", "Genius block analog data", ...; "unknown memory" for a code without a name.
const char* memoryName(int32_t memoryType);

}  // namespace zurtool
