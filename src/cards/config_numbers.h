// Numbers as zurPM.int writes them: the reading rules of the C library's atol and strtol, done
// here so that the 32-bit plant build and the 64-bit development build read every line alike
// (long is 32 bits on one and 64 on the other, and atol's overflow is undefined).
#pragma once

#include <cstdint>

namespace zurpm {

// Reads a number from text: leading white space, an optional sign, in base 16 an optional "0x" or
// "0X", then the digits of the base up to the first other character. No digits give 0. Values
// beyond the signed 32-bit range are clamped to its limits. base is 10 or 16.
int32_t readConfigNumber(const char* text, int base);

// atol: the decimal form of the above.
inline int32_t readDecimal(const char* text) { return readConfigNumber(text, 10); }

}  // namespace zurpm
