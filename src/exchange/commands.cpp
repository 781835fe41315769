// Placeholder until the data commands land.
#include "exchange/commands.h"

namespace zurpm {
int32_t readGate(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t readSingleGate(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t writeGate(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t writeSingleGate(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t writeBitOfWord(ZurRequest*) { return ZUR_RESULT_FAILED; }
}  // namespace zurpm
