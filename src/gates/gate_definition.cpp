// Placeholder until gate definitions land.
#include "gates/gate_definition.h"

namespace zurpm {
int32_t defineGate(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t defineBlockGate(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t defineBitOfWordGate(ZurRequest*) { return ZUR_RESULT_FAILED; }
}  // namespace zurpm
