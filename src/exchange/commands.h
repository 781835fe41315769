// The data commands: read (6), read one (5), write (10), write one (7).
#pragma once

#include "zurpm/records.h"

namespace zurpm {

int32_t readGate(ZurRequest* request);
int32_t readSingleGate(ZurRequest* request);
int32_t writeGate(ZurRequest* request);
int32_t writeSingleGate(ZurRequest* request);
// One bit of a word by read, modify and write; checkCount (command 10) refuses first a count that
// no write could carry, as a write of the whole gate would.
int32_t writeBitOfWord(ZurRequest* request, bool checkCount);

}  // namespace zurpm
