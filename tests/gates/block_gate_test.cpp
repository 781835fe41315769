// Command 4, block gates: the address as for a single gate, then the block size against the
// region's limits, and the fields a refusal leaves written.
#include <gtest/gtest.h>

#include <vector>

#include "definition_check.h"

using namespace zurpm::test;

namespace {

const std::string notEight = "ZURPM Error: Gate address string is not 8 characters";
const std::string stationNumbers =
    "ZURPM Error: The first two characters of the gate address string are not numbers";
const std::string stationRange = "ZURPM Error: The station number is out of range";
const std::string hexDigits =
    "ZURPM Error: The last 4 charectors of the gate address string are not valid hex digits";
const std::string decimalDigits =
    "ZURPM Error: The last 4 charectors of the gate address string are not valid digits";

std::string byteBoundary(int offset) {
    return "ZURPM Error: The requested block start address " + std::to_string(offset) +
           " is is not on a byte boundery";
}
std::string tooLarge(int size) {
    return "ZURPM Error: The requested block size " + std::to_string(size) + " is to large";
}
std::string notWholeBytes(int size) {
    return "ZURPM Error: The requested block size " + std::to_string(size) +
           " is not even byte count";
}
std::string typeMessage(char c) {
    return std::string("ZURPM Error: The selected PLC type ") + c + " is not valid";
}
std::string regionMessage(char c) {
    return std::string("ZURPM Error: The selected PLC region ") + c + " is not valid";
}
std::string outsideTable(int n, int size) {
    return "ZURPM Error: Genius block address " + std::to_string(n) + " with block size " +
           std::to_string(size) + " is outside the 128 byte global data table";
}

// Blocks do not look at the value type: every case runs with a type no single region takes.
constexpr int32_t anyType = 42;

void runAll(const std::vector<DefinitionCase>& cases) {
    for (const DefinitionCase& c : cases) expectDefinition(Command::block, c);
}

TEST(BlockGate, AcceptedBlocksGiveAllFiveFields) {
    runAll({
        {16, "059I0001", anyType, 1024, 0, {5, 70, 0, 0, 1}, ""},
        {16, "059I0009", anyType, 136, 0, {5, 70, 8, 0, 1}, ""},
        {16, "059I0001", anyType, 100, 0, {5, 70, 0, 0, 1}, ""},
        {16, "059I0001", anyType, 128, 0, {5, 70, 0, 0, 1}, ""},
        {16, "059I0011", anyType, 8, 0, {5, 70, 16, 0, 1}, ""},
        {16, "059q0001", anyType, 8, 0, {5, 72, 0, 0, 1}, ""},
        {16, "059G0001", anyType, 8, 0, {5, 86, 0, 0, 1}, ""},
        {16, "059R0001", anyType, 64, 0, {5, 8, 0, -1, 16}, ""},
        {16, "059r0002", anyType, 10, 0, {5, 8, 1, -1, 16}, ""},
        {16, "059L0003", anyType, 64, 0, {5, 10, 2, -1, 16}, ""},
        {16, "059O0003", anyType, 1, 0, {5, 12, 2, -1, 16}, ""},
        {16, "059F0003", anyType, 32, 0, {5, 8, 1, -1, 32}, ""},
        {16, "059F0000", anyType, 1, 0, {5, 8, -1, -1, 32}, ""},
        {16, "05GA0001", anyType, 64, 0, {5, 130, 0, -1, 16}, ""},
        {16, "05gd0009", anyType, 128, 0, {5, 129, 8, 0, 1}, ""},
        {10, "059I00009", anyType, 8, 0, {5, 70, 8, 0, 1}, ""},
        {10, "059R00010", anyType, 64, 0, {5, 8, 9, -1, 16}, ""},
        {10, "959F00004", anyType, 2, 0, {95, 8, 1, -1, 32}, ""},
    });
}

TEST(BlockGate, EveryPointRegionOfThePlcGivesItsBitModeCode) {
    const struct {
        char letter;
        int32_t memoryType;
    } regions[] = {{'I', 70}, {'Q', 72}, {'T', 74}, {'M', 76}, {'A', 78},
                   {'B', 80}, {'C', 82}, {'D', 84}, {'G', 86}};
    for (const auto& r : regions)
        expectDefinition(Command::block, {16, std::string("079") + r.letter + "0019", anyType, 256, 0,
                                          {7, r.memoryType, 24, 0, 1}, ""});
}

TEST(BlockGate, BlockSizeOfZeroOrBelowIsAccepted) {
    runAll({
        {16, "059R0001", anyType, 0, 0, {5, 8, 0, -1, 16}, ""},
        {16, "059I0001", anyType, -1, 0, {5, 70, 0, 0, 1}, ""},
        {16, "059I0001", anyType, -2147483647 - 1, 0, {5, 70, 0, 0, 1}, ""},
        {16, "05GD0001", anyType, 0, 0, {5, 129, 0, 0, 1}, ""},
    });
}

TEST(BlockGate, PointBlocksStartOnAByteBoundary) {
    runAll({
        {16, "059I0002", anyType, 8, 1, writtenStationOffset(5, 1), byteBoundary(1)},
        {16, "059I0002", anyType, 2000, 1, writtenStationOffset(5, 1), byteBoundary(1)},
        {16, "059I0000", anyType, 8, 1, writtenStationOffset(5, -1), byteBoundary(-1)},
        {16, "059M0010", anyType, 8, 1, writtenStationOffset(5, 15), byteBoundary(15)},
        {16, "05GD0002", anyType, 8, 1, writtenStationOffset(5, 1), byteBoundary(1)},
        {16, "05GD0000", anyType, 8, 1, writtenStationOffset(5, -1), byteBoundary(-1)},
        {10, "059I00010", anyType, 8, 1, writtenStationOffset(5, 9), byteBoundary(9)},
    });
}

TEST(BlockGate, BlockSizeIsBoundedByTheRegion) {
    runAll({
        {16, "059I0001", anyType, 1025, 1, writtenStationOffset(5, 0), tooLarge(1025)},
        {16, "059I0001", anyType, 2147483647, 1, writtenStationOffset(5, 0), tooLarge(2147483647)},
        {16, "059R0001", anyType, 65, 1, writtenStationOffset(5, 0), tooLarge(65)},
        {16, "059L0001", anyType, 65, 1, writtenStationOffset(5, 0), tooLarge(65)},
        {16, "059O0001", anyType, 65, 1, writtenStationOffset(5, 0), tooLarge(65)},
        // The offset of a refused float block is left unhalved.
        {16, "059F0003", anyType, 33, 1, writtenStationOffset(5, 2), tooLarge(33)},
        {16, "05GA0001", anyType, 65, 1, writtenStationOffset(5, 0), tooLarge(65)},
        {16, "05gd0009", anyType, 129, 1, writtenStationOffset(5, 8), tooLarge(129)},
    });
}

TEST(BlockGate, LargePointBlocksAreWholeBytes) {
    runAll({
        {16, "059I0001", anyType, 130, 1, writtenStationOffset(5, 0), notWholeBytes(130)},
        {16, "059I0001", anyType, 129, 1, writtenStationOffset(5, 0), notWholeBytes(129)},
        {16, "059T0001", anyType, 1023, 1, writtenStationOffset(5, 0), notWholeBytes(1023)},
        {16, "059I0001", anyType, 127, 0, {5, 70, 0, 0, 1}, ""},
        {16, "059I0001", anyType, 1016, 0, {5, 70, 0, 0, 1}, ""},
    });
}

TEST(BlockGate, GeniusBlocksStayInsideTheTable) {
    runAll({
        {16, "05GD0379", anyType, 128, 0, {5, 129, 888, 0, 1}, ""},
        {16, "05GD0381", anyType, 128, 0, {5, 129, 896, 0, 1}, ""},
        {16, "05GD0389", anyType, 128, 1, writtenStationOffset(5, 904), outsideTable(905, 128)},
        {16, "05GD0401", anyType, 1, 1, writtenStationOffset(5, 1024), outsideTable(1025, 1)},
        {16, "05GD0401", anyType, 0, 1, writtenStationOffset(5, 1024), outsideTable(1025, 0)},
        {16, "05GD3FF9", anyType, 8, 1, writtenStationOffset(5, 16376), outsideTable(16377, 8)},
        {16, "05GA0001", anyType, 64, 0, {5, 130, 0, -1, 16}, ""},
        {16, "05GA0040", anyType, 1, 0, {5, 130, 63, -1, 16}, ""},
        {16, "05GA0040", anyType, 2, 1, writtenStationOffset(5, 63), outsideTable(64, 2)},
        {16, "05GA0002", anyType, 64, 1, writtenStationOffset(5, 1), outsideTable(2, 64)},
        {16, "05GA0041", anyType, -5, 1, writtenStationOffset(5, 64), outsideTable(65, -5)},
        {16, "05GA0000", anyType, 1, 1, writtenStationOffset(5, -1), outsideTable(0, 1)},
        {10, "05GA00000", anyType, 0, 1, writtenStationOffset(5, -1), outsideTable(0, 0)},
        {10, "05GA99999", anyType, 1, 1, writtenStationOffset(5, 99998), outsideTable(99999, 1)},
    });
}

TEST(BlockGate, AddressRefusalsHaveTheirOwnWords) {
    runAll({
        {16, "A059R001", anyType, 1, 1, nothingWritten(), stationNumbers},
        {16, "0A9R0001", anyType, 1, 1, nothingWritten(), stationNumbers},
        {10, " 59R00001", anyType, 1, 1, nothingWritten(), stationNumbers},
        {16, "969R0001", anyType, 1, 1, writtenStation(96), stationRange},
        {10, "999R00001", anyType, 1, 1, writtenStation(99), stationRange},
        {16, "059R00G1", anyType, 1, 1, writtenStation(5), hexDigits},
        {10, "059R0000A", anyType, 1, 1, writtenStation(5), decimalDigits},
        {16, "059E0001", anyType, 1, 1, writtenStationOffset(5, 0), regionMessage('E')},
        {16, "059s0001", anyType, 1, 1, writtenStationOffset(5, 0), regionMessage('S')},
        {16, "05GR0001", anyType, 1, 1, writtenStationOffset(5, 0), regionMessage('R')},
        {16, "05XR0001", anyType, 1, 1, writtenStationOffset(5, 0), typeMessage('X')},
        {16, "05xR0001", anyType, 1, 1, writtenStationOffset(5, 0), typeMessage('X')},
    });
}

TEST(BlockGate, LongStringsHaveNoBitForm) {
    runAll({
        {16, "059R00100F", ZUR_VALUE_DIGITAL, 1, 1, nothingWritten(), notEight},
        {10, "059R0001015", ZUR_VALUE_DIGITAL, 1, 1, nothingWritten(), notEight},
        {10, "059R0001", anyType, 1, 1, nothingWritten(), notEight},
        {16, "059R00001", anyType, 1, 1, nothingWritten(), notEight},
        {16, "", anyType, 1, 1, nothingWritten(), notEight},
    });
}

TEST(BlockGate, AddressIsJudgedBeforeTheBlockSize) {
    runAll({
        {16, "059E0002", anyType, 5000, 1, writtenStationOffset(5, 1), regionMessage('E')},
        {16, "059R00G1", anyType, 5000, 1, writtenStation(5), hexDigits},
        // The region's own rules come before the bounds of a Genius table.
        {16, "05GD0402", anyType, 8, 1, writtenStationOffset(5, 1025), byteBoundary(1025)},
        {16, "05GA0041", anyType, 65, 1, writtenStationOffset(5, 64), tooLarge(65)},
    });
}

}  // namespace
