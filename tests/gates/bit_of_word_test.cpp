// Command 3 with a bit number: one bit of a register, analog input or analog output word.
#include <gtest/gtest.h>

#include <vector>

#include "definition_check.h"

using namespace zurpm::test;

namespace {

constexpr int32_t dig = ZUR_VALUE_DIGITAL;

const std::string mustBeDigital = "ZURPM : Must be digital gate to specify bit number";
const std::string notTen = "ZURPM Error: Gate address string is not 10 characters";
const std::string notEight = "ZURPM Error: Gate address string is not 8 characters";
const std::string stationDigits =
    "ZURPM Error: The first two charectors of the gate address string are not digits";
const std::string stationRange = "ZURPM Error: The station number is out of range";
const std::string sixHex =
    "ZURPM Error: The last 6 charectors of the gate address string are not valid hex digits";
const std::string sevenDigits =
    "ZURPM Error: The last 7 charectors of the gate address string are not valid digits";

std::string invalidBit(int bit) { return "ZURPM Error:  Invalid Bit Number " + std::to_string(bit); }
std::string typeMessage(char c) {
    return std::string("ZURPM Error: The selected PLC type ") + c + " is not valid for bit number";
}
std::string regionMessage(char c) {
    return std::string("ZURPM Error: The selected PLC region ") + c +
           " is not valid for bit number";
}

// Written before a refusal from the bit step on: station and bit; from the word step on: offset
// and width too.
constexpr HardwareAddress writtenBit(int32_t station, int32_t bit) {
    return {station, kept, kept, bit, kept};
}
constexpr HardwareAddress writtenWord(int32_t station, int32_t offset, int32_t bit) {
    return {station, kept, offset, bit, 1};
}

void runAll(const std::vector<DefinitionCase>& cases) {
    for (const DefinitionCase& c : cases) expectDefinition(Command::single, c);
}

TEST(BitOfWordGate, AcceptedBitsGiveAllFiveFields) {
    runAll({
        {16, "019R00100F", dig, 0, 0, {1, 8, 15, 15, 1}, ""},
        {16, "019r00100f", dig, 0, 0, {1, 8, 15, 15, 1}, ""},
        {10, "019R0001015", dig, 0, 0, {1, 8, 9, 15, 1}, ""},
        {10, "019o0000100", dig, 0, 0, {1, 12, 0, 0, 1}, ""},
        {16, "019L00010A", dig, 0, 0, {1, 10, 0, 10, 1}, ""},
        {16, "959O000000", dig, 0, 0, {95, 12, -1, 0, 1}, ""},
        {16, "009RFFFF07", dig, 0, 0, {0, 8, 65534, 7, 1}, ""},
        {10, "009L9999909", dig, 0, 0, {0, 10, 99998, 9, 1}, ""},
    });
}

TEST(BitOfWordGate, BitNumberAbove15IsRefusedAndKept) {
    runAll({
        {16, "019L000110", dig, 0, 1, writtenBit(1, 16), invalidBit(16)},
        {16, "019L0001FF", dig, 0, 1, writtenBit(1, 255), invalidBit(255)},
        {10, "019L0000116", dig, 0, 1, writtenBit(1, 16), invalidBit(16)},
        {10, "019L0000199", dig, 0, 1, writtenBit(1, 99), invalidBit(99)},
        // Bit range before type and region.
        {16, "01XZ000110", dig, 0, 1, writtenBit(1, 16), invalidBit(16)},
    });
}

TEST(BitOfWordGate, OnlyDigitalGatesNameABit) {
    for (int32_t valueType : {0, 1, 3, 2, -1})
        for (const char* address : {"019R00100F", "019R0001015", "xxxxxxxxxx", "!!!!!!!!!!!!!!!!!!!!"})
            expectDefinition(Command::single,
                             {16, address, valueType, 0, 1, nothingWritten(), mustBeDigital});
}

TEST(BitOfWordGate, LengthMustMatchTheNumberBase) {
    runAll({
        {16, "019R00100F0", dig, 0, 1, nothingWritten(), notTen},
        {16, "019R00100F00000000000", dig, 0, 1, nothingWritten(), notTen},
        {10, "019R000100", dig, 0, 1, nothingWritten(), notEight},
        {10, "019R000100000", dig, 0, 1, nothingWritten(), notEight},
    });
}

TEST(BitOfWordGate, AddressRefusalsInTheirOrder) {
    runAll({
        {16, "A19R00100F", dig, 0, 1, nothingWritten(), stationDigits},
        {10, "1 9R0001015", dig, 0, 1, nothingWritten(), stationDigits},
        {16, "969R00100F", dig, 0, 1, writtenStation(96), stationRange},
        // Station range before the word and bit digits.
        {16, "99XRGGGGGG", dig, 0, 1, writtenStation(99), stationRange},
        {16, "019R00G00F", dig, 0, 1, writtenStation(1), sixHex},
        {16, "019R00100G", dig, 0, 1, writtenStation(1), sixHex},
        {10, "019R000A015", dig, 0, 1, writtenStation(1), sevenDigits},
        {10, "019R000100F", dig, 0, 1, writtenStation(1), sevenDigits},
        {16, "01GR00100F", dig, 0, 1, writtenWord(1, 15, 15), typeMessage('G')},
        {16, "01gR00100F", dig, 0, 1, writtenWord(1, 15, 15), typeMessage('G')},
        {10, "018R0001015", dig, 0, 1, writtenWord(1, 9, 15), typeMessage('8')},
        // Type before region.
        {16, "01xI00100F", dig, 0, 1, writtenWord(1, 15, 15), typeMessage('X')},
    });
}

TEST(BitOfWordGate, OnlyWordRegionsHaveBits) {
    for (char letter : std::string("IQTMABCDGFEiqf%")) {
        const char shown = (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 32) : letter;
        expectDefinition(Command::single, {16, std::string("019") + letter + "00100F", dig, 0, 1,
                                           writtenWord(1, 15, 15), regionMessage(shown)});
    }
}

}  // namespace
