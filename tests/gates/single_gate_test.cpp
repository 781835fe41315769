// Command 3, single gates: accepted addresses in both bases, every refusal with its message, the
// fields a refusal leaves written, and the order of the checks.
#include <gtest/gtest.h>

#include <vector>

#include "definition_check.h"

using namespace zurpm::test;

namespace {

constexpr int32_t s16 = ZUR_VALUE_SIGNED16;
constexpr int32_t u16 = ZUR_VALUE_UNSIGNED16;
constexpr int32_t flt = ZUR_VALUE_FLOAT;
constexpr int32_t dig = ZUR_VALUE_DIGITAL;

const std::string notEight = "ZURPM Error: Gate address string is not 8 characters";
const std::string stationDigits =
    "ZURPM Error: The first two charectors of the gate address string are not digits";
const std::string stationRange = "ZURPM Error: The station number is out of range";
const std::string hexDigits =
    "ZURPM Error: The last 4 charectors of the gate address string are not valid hex digits";
const std::string decimalDigits =
    "ZURPM Error: The last 4 charectors of the gate address string are not valid digits";
const std::string notDigital = "ZURPM Error: Not a Digital Gate";
const std::string notWord = "ZURPM Error: Not a Signed16 or Unsigned16 Gate";
const std::string notFloat = "ZURPM Error: Not a Float Gate";
const std::string notWordOrFloat = "ZURPM Error: Not a Signed16, Unsigned16 or Float Gate";

std::string typeMessage(char c) {
    return std::string("ZURPM Error: The selected PLC type ") + c + " is not valid";
}
std::string regionMessage(char c) {
    return std::string("ZURPM Error: The selected PLC region ") + c + " is not valid";
}
std::string outsideTable(int n) {
    return "ZURPM Error: Genius block address " + std::to_string(n) +
           " is outside the 128 byte global data table";
}

void runAll(const std::vector<DefinitionCase>& cases) {
    for (const DefinitionCase& c : cases) expectDefinition(Command::single, c);
}

TEST(SingleGate, AcceptedAddressesGiveAllFiveFields) {
    runAll({
        {16, "059R0010", s16, 0, 0, {5, 8, 15, -1, 16}, ""},
        {10, "059R00010", u16, 0, 0, {5, 8, 9, -1, 16}, ""},
        {16, "059r0010", u16, 0, 0, {5, 8, 15, -1, 16}, ""},
        {16, "319i00ff", dig, 0, 0, {31, 70, 254, 0, 1}, ""},
        {16, "319I00FF", dig, 0, 0, {31, 70, 254, 0, 1}, ""},
        {16, "009R0000", s16, 0, 0, {0, 8, -1, -1, 16}, ""},
        {16, "959R0001", s16, 0, 0, {95, 8, 0, -1, 16}, ""},
        {16, "009RFFFF", s16, 0, 0, {0, 8, 65534, -1, 16}, ""},
        {10, "009R99999", s16, 0, 0, {0, 8, 99998, -1, 16}, ""},
        {10, "959L00001", s16, 0, 0, {95, 10, 0, -1, 16}, ""},
        {16, "339L0100", u16, 0, 0, {33, 10, 255, -1, 16}, ""},
        {16, "649O0002", s16, 0, 0, {64, 12, 1, -1, 16}, ""},
        {10, "649o00002", s16, 0, 0, {64, 12, 1, -1, 16}, ""},
    });
}

TEST(SingleGate, EveryDigitalRegionOfThePlcGivesItsBitModeCode) {
    const struct {
        char letter;
        int32_t memoryType;
    } regions[] = {{'I', 70}, {'Q', 72}, {'T', 74}, {'M', 76}, {'A', 78},
                   {'B', 80}, {'C', 82}, {'D', 84}, {'G', 86}};
    for (const auto& r : regions) {
        for (char letter : {r.letter, static_cast<char>(r.letter - 'A' + 'a')}) {
            expectDefinition(Command::single, {16, std::string("079") + letter + "0011", dig, 0, 0,
                                               {7, r.memoryType, 16, 0, 1}, ""});
            expectDefinition(Command::single, {10, std::string("079") + letter + "00011", dig, 0, 0,
                                               {7, r.memoryType, 10, 0, 1}, ""});
        }
    }
}

TEST(SingleGate, FloatRegionCountsRegisterPairs) {
    runAll({
        {16, "409F0001", flt, 0, 0, {40, 8, 0, -1, 32}, ""},
        {16, "409F0002", flt, 0, 0, {40, 8, 0, -1, 32}, ""},
        {16, "409F0003", flt, 0, 0, {40, 8, 1, -1, 32}, ""},
        {16, "409F0004", flt, 0, 0, {40, 8, 1, -1, 32}, ""},
        {16, "409f0000", flt, 0, 0, {40, 8, -1, -1, 32}, ""},
        {10, "409F00003", flt, 0, 0, {40, 8, 1, -1, 32}, ""},
        {10, "409F00100", flt, 0, 0, {40, 8, 49, -1, 32}, ""},
    });
}

TEST(SingleGate, GeniusBlockDataByValueType) {
    runAll({
        {16, "12GA0002", flt, 0, 0, {12, 130, 1, -1, 32}, ""},
        {16, "12GA0002", s16, 0, 0, {12, 130, 1, -1, 16}, ""},
        {16, "12ga0002", u16, 0, 0, {12, 130, 1, -1, 16}, ""},
        {16, "12gd0010", dig, 0, 0, {12, 128, 15, 0, 1}, ""},
        {10, "12GD00010", dig, 0, 0, {12, 128, 9, 0, 1}, ""},
    });
}

TEST(SingleGate, GeniusGatesReachTheLastElementOfTheTable) {
    runAll({
        {16, "00GD0001", dig, 0, 0, {0, 128, 0, 0, 1}, ""},
        {16, "00GD0400", dig, 0, 0, {0, 128, 1023, 0, 1}, ""},
        {10, "00GD01024", dig, 0, 0, {0, 128, 1023, 0, 1}, ""},
        {16, "00GA0040", s16, 0, 0, {0, 130, 63, -1, 16}, ""},
        {16, "00GA0020", flt, 0, 0, {0, 130, 31, -1, 32}, ""},
        {10, "00GA00032", flt, 0, 0, {0, 130, 31, -1, 32}, ""},
    });
}

TEST(SingleGate, GeniusGatesOutsideTheTableAreRefused) {
    runAll({
        {16, "00GD0000", dig, 0, 1, writtenStationOffset(0, -1), outsideTable(0)},
        {16, "00GD0401", dig, 0, 1, writtenStationOffset(0, 1024), outsideTable(1025)},
        {10, "00GD01025", dig, 0, 1, writtenStationOffset(0, 1024), outsideTable(1025)},
        {16, "00GDFFFF", dig, 0, 1, writtenStationOffset(0, 65534), outsideTable(65535)},
        {16, "00GA0041", s16, 0, 1, writtenStationOffset(0, 64), outsideTable(65)},
        {16, "00GA0021", flt, 0, 1, writtenStationOffset(0, 32), outsideTable(33)},
        {16, "00GA0040", flt, 0, 1, writtenStationOffset(0, 63), outsideTable(64)},
        {16, "00GA0000", u16, 0, 1, writtenStationOffset(0, -1), outsideTable(0)},
        {10, "00GA99999", s16, 0, 1, writtenStationOffset(0, 99998), outsideTable(99999)},
    });
}

TEST(SingleGate, LengthMustMatchTheNumberBase) {
    runAll({
        {10, "059R0010", s16, 0, 1, nothingWritten(), notEight},
        {16, "059R00010", s16, 0, 1, nothingWritten(), notEight},
        {16, "059R001", s16, 0, 1, nothingWritten(), notEight},
        {10, "059R001", s16, 0, 1, nothingWritten(), notEight},
        {16, "", s16, 0, 1, nothingWritten(), notEight},
        {10, "", s16, 0, 1, nothingWritten(), notEight},
        {16, "0", s16, 0, 1, nothingWritten(), notEight},
        {16, "05", s16, 0, 1, nothingWritten(), notEight},
        {16, "059", s16, 0, 1, nothingWritten(), notEight},
        {16, "059R", s16, 0, 1, nothingWritten(), notEight},
    });
}

TEST(SingleGate, StationMustBeTwoDigitsBelow96) {
    runAll({
        {16, "A59R0010", s16, 0, 1, nothingWritten(), stationDigits},
        {16, "0A9R0010", s16, 0, 1, nothingWritten(), stationDigits},
        {16, " 59R0010", s16, 0, 1, nothingWritten(), stationDigits},
        {16, "0 9R0010", s16, 0, 1, nothingWritten(), stationDigits},
        {10, "a59R00010", s16, 0, 1, nothingWritten(), stationDigits},
        {16, "969R0001", s16, 0, 1, writtenStation(96), stationRange},
        {16, "979R0001", s16, 0, 1, writtenStation(97), stationRange},
        {16, "989R0001", s16, 0, 1, writtenStation(98), stationRange},
        {10, "999R00001", s16, 0, 1, writtenStation(99), stationRange},
    });
}

TEST(SingleGate, OffsetDigitsMustBelongToTheNumberBase) {
    runAll({
        {16, "059R00G1", s16, 0, 1, writtenStation(5), hexDigits},
        {16, "059R 001", s16, 0, 1, writtenStation(5), hexDigits},
        {16, "059R-001", s16, 0, 1, writtenStation(5), hexDigits},
        {16, "059R0x10", s16, 0, 1, writtenStation(5), hexDigits},
        {10, "059R0000A", s16, 0, 1, writtenStation(5), decimalDigits},
        {10, "059R0001F", s16, 0, 1, writtenStation(5), decimalDigits},
        {10, "059Ra0001", s16, 0, 1, writtenStation(5), decimalDigits},
        {10, "059R+0001", s16, 0, 1, writtenStation(5), decimalDigits},
    });
}

TEST(SingleGate, UnknownTypeOrRegionIsNamedInUpperCase) {
    runAll({
        {16, "05XR0010", s16, 0, 1, writtenStationOffset(5, 15), typeMessage('X')},
        {16, "05xR0010", s16, 0, 1, writtenStationOffset(5, 15), typeMessage('X')},
        {16, "058R0010", s16, 0, 1, writtenStationOffset(5, 15), typeMessage('8')},
        {10, "05%R00010", s16, 0, 1, writtenStationOffset(5, 9), typeMessage('%')},
        {16, "059e0010", s16, 0, 1, writtenStationOffset(5, 15), regionMessage('E')},
        {16, "059S0010", s16, 0, 1, writtenStationOffset(5, 15), regionMessage('S')},
        {16, "059z0010", dig, 0, 1, writtenStationOffset(5, 15), regionMessage('Z')},
        {16, "05910010", s16, 0, 1, writtenStationOffset(5, 15), regionMessage('1')},
        {16, "05GR0010", s16, 0, 1, writtenStationOffset(5, 15), regionMessage('R')},
        {16, "05gf0010", flt, 0, 1, writtenStationOffset(5, 15), regionMessage('F')},
        {10, "05Gi00010", dig, 0, 1, writtenStationOffset(5, 9), regionMessage('I')},
    });
    for (char letter : std::string("EHJKNPSUVWXYZ")) {
        expectDefinition(Command::single, {16, std::string("059") + letter + "0001", dig, 0, 1,
                                           writtenStationOffset(5, 0), regionMessage(letter)});
    }
}

TEST(SingleGate, EachRegionRefusesTheValueTypesItCannotHold) {
    runAll({
        {16, "059T0001", s16, 0, 1, writtenStationOffset(5, 0), notDigital},
        {16, "059I0001", flt, 0, 1, writtenStationOffset(5, 0), notDigital},
        {16, "059R0001", dig, 0, 1, writtenStationOffset(5, 0), notWord},
        {16, "059L0001", flt, 0, 1, writtenStationOffset(5, 0), notWord},
        {16, "059O0001", dig, 0, 1, writtenStationOffset(5, 0), notWord},
        // The offset of a refused float is not yet halved.
        {16, "059F0003", s16, 0, 1, writtenStationOffset(5, 2), notFloat},
        {16, "05GA0001", dig, 0, 1, writtenStationOffset(5, 0), notWordOrFloat},
        {16, "05GD0001", u16, 0, 1, writtenStationOffset(5, 0), notDigital},
    });
    const struct {
        const char* address;
        std::string message;
    } regions[] = {{"059I0001", notDigital}, {"059R0001", notWord},  {"059F0001", notFloat},
                   {"05GA0001", notWordOrFloat}, {"05GD0001", notDigital}};
    for (const auto& region : regions)
        for (int32_t valueType : {2, 4, 5, 7, -1, 256, 2147483647})
            expectDefinition(Command::single, {16, region.address, valueType, 0, 1,
                                               writtenStationOffset(5, 0), region.message});
}

TEST(SingleGate, ChecksComeInTheirOrder) {
    runAll({
        // Station digits before type and region.
        {16, "A5XE0010", s16, 0, 1, nothingWritten(), stationDigits},
        // Station range before offset digits and type.
        {16, "96XRZZZZ", s16, 0, 1, writtenStation(96), stationRange},
        // Offset digits before type.
        {16, "05XR00G0", s16, 0, 1, writtenStation(5), hexDigits},
        // Type before region, region before value type.
        {16, "05XE0010", dig, 0, 1, writtenStationOffset(5, 15), typeMessage('X')},
        {16, "059E0010", 99, 0, 1, writtenStationOffset(5, 15), regionMessage('E')},
        // The value type of a region is judged before the bounds of a Genius table.
        {16, "05GD0000", s16, 0, 1, writtenStationOffset(5, -1), notDigital},
    });
}

TEST(SingleGate, LongerStringsGoToTheBitFormInEitherBase) {
    const std::string mustBeDigital = "ZURPM : Must be digital gate to specify bit number";
    runAll({
        {16, "019R00100F", dig, 0, 0, {1, 8, 15, 15, 1}, ""},
        {10, "019R0001015", dig, 0, 0, {1, 8, 9, 15, 1}, ""},
        // A 10-character string in base 10 is the bit form's, refused there for its length.
        {10, "019R000100", dig, 0, 1, nothingWritten(), notEight},
        {10, "019R000100", s16, 0, 1, nothingWritten(), mustBeDigital},
        {16, "ZZZZZZZZZZ", flt, 0, 1, nothingWritten(), mustBeDigital},
    });
}

}  // namespace
