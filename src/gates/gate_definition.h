// Gate definitions: an address string becomes the gate's hardware address, or is refused with one
// message at the gate level.
#pragma once

#include "zurpm/records.h"

namespace zurpm {

// Command 3: one value, or (strings longer than 9 characters) one bit of a word.
int32_t defineGate(ZurRequest* request);
// Command 4: a block of values.
int32_t defineBlockGate(ZurRequest* request);
// The bit-of-word form, reached through defineGate.
int32_t defineBitOfWordGate(ZurRequest* request);

}  // namespace zurpm
