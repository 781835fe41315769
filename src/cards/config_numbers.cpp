// The atol and strtol reading rules for zurPM.int, with the signed 32-bit clamp of the plant's
// 32-bit long on every platform.
#include "cards/config_numbers.h"

namespace zurpm {

namespace {

bool isConfigSpace(char c) {
    // White space of the "C" locale, as the library conversions skip it.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of one digit in base 16 or 10, or -1 when the character is no digit of that base.
int digitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

}  // namespace

int32_t readConfigNumber(const char* text, int base) {
    const char* p = text;
    while (isConfigSpace(*p)) ++p;

    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // "0x" counts as a prefix only when a hexadecimal digit follows; "0xg" reads as 0.
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitValue(p[2], 16) >= 0)
        p += 2;

    // The magnitude stops growing once it is past every limit; the clamp below settles it.
    constexpr int64_t pastLimit = int64_t{1} << 32;
    int64_t magnitude = 0;
    for (int digit = digitValue(*p, base); digit >= 0; digit = digitValue(*++p, base))
        if (magnitude < pastLimit) magnitude = magnitude * base + digit;

    const int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace zurpm
