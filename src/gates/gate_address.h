// What the three forms of gate address share: the working copy of the host's string, the
// character classes, the layout of the offset digits in each number base, the station and digit
// conversions, and the checks every definition makes before it looks at the string.
//
// Layout: positions 0-1 station (decimal), 2 PLC type character, 3 region letter, 4 to the end the
// element number in the number base of the context (the bit form adds two bit digits).
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/messages.h"
#include "zurpm/records.h"

namespace zurpm {

// Longest string of which the exact length matters (the bit form in base 10 has 11 characters).
// Longer strings are measured as this many plus one and copied no further: every rule refuses
// them for their length alone.
constexpr size_t addressLengthLimit = 11;

// The definition's own copy of the host's string: at most addressLengthLimit + 1 characters,
// NUL-terminated. length is the true length, or addressLengthLimit + 1 for anything longer.
struct AddressText {
    char characters[addressLengthLimit + 2];
    size_t length;
};

// What every definition starts from once the request has passed the checks of openDefinition.
struct DefinitionInput {
    GateDefinition* gate;
    int32_t numberBase;  // 10 or 16
    AddressText address;
};

// Where the digits of an address sit in one number base, and what a wrong string is told.
struct AddressLayout {
    int32_t numberBase;
    size_t length;              // characters of the whole string
    const char* lengthMessage;  // the string has another length
    const char* digitsMessage;  // a character from position 4 on is no digit of the base
};

// The address of one element (single and block gates): 8 characters in base 16, 9 in base 10.
extern const AddressLayout singleAddressLayouts[2];

// Positions of the PLC type character, the region letter and the first offset digit.
constexpr size_t offsetPosition = 4;
constexpr size_t typePosition = 2;
constexpr size_t regionPosition = 3;

// Character classes, ASCII only: a byte outside 7-bit ASCII is neither digit nor letter.
bool isDecimalDigit(char c);
// The value of c as a digit (0-9, A-F, a-f give 0-15), or 16 when c is none.
int32_t digitValue(char c);
// a-z become A-Z; every other byte is handed back unchanged.
char asciiUpper(char c);
// For the %c of a message: the byte as it is, never a negative value.
inline int32_t shownCharacter(char c) { return static_cast<unsigned char>(c); }

// The layout of the given base in a table of layouts, or null when the table has none.
template <size_t count>
const AddressLayout* findLayout(const AddressLayout (&layouts)[count], int32_t numberBase) {
    for (const AddressLayout& layout : layouts)
        if (layout.numberBase == numberBase) return &layout;
    return nullptr;
}

// True when every character in [from, to) is a digit of numberBase.
bool allDigitsOfBase(const AddressText& address, size_t from, size_t to, int32_t numberBase);
// The unsigned value of the digits in [from, to) in numberBase (all digits, checked before).
uint32_t digitsValue(const AddressText& address, size_t from, size_t to, int32_t numberBase);

// One refusal: one message to the host at the gate level, result 1.
template <typename... Values>
inline int32_t refuseGate(const char* format, Values... values) {
    hostMessage(levelGate, format, values...);
    return ZUR_RESULT_REFUSED;
}

// The checks before any rule of the address: a gate record, a context, a string, a supported
// number base. Fills input (copying the string) and answers 0, or refuses with one message and
// answers 1.
int32_t openDefinition(ZurRequest* request, DefinitionInput* input);

// The station-digits refusal of single gates and bits of a word (blocks word it their own way).
inline constexpr char messageStationNotDigits[] =
    "ZURPM Error: The first two charectors of the gate address string are not digits";

// Station digits and range: writes the station (also one that is then refused) and answers 0, or
// refuses with digitsMessage or the range message and answers 1.
int32_t readStation(const AddressText& address, HardwareAddress* hardwareAddress,
                    const char* digitsMessage);

// What single and block gates share: the length in the number base, the station, the offset
// digits. Writes station and offset (n - 1) as far as they are read and answers 0, or refuses with
// one message and answers 1.
int32_t readSingleAddress(const DefinitionInput& input, HardwareAddress* hardwareAddress,
                          const char* stationDigitsMessage);

}  // namespace zurpm
