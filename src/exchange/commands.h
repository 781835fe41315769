// The data commands: read (6), read one (5), write (10), write one (7).
#pragma once

#include "zurpm/records.h"

namespace zurpm {

int32_t readGate(ZurRequest* request);
int32_t readSingleGate(ZurRequest* request);
int32_t writeGate(ZurRequest* request);
int32_t writeSingleGate(ZurRequest* request);
int32_t writeBitOfWord(ZurRequest* request);

}  // namespace zurpm
