// The region tables of gate addresses. Type 9 is Series 90 PLC memory, reached by datagrams;
// type G is the global data of Genius I/O blocks in the card's tables.
#include "gates/region_tables.h"

#include "gates/gate_address.h"
#include "gates/memory_types.h"

namespace zurpm {

namespace {

constexpr char notDigital[] = "ZURPM Error: Not a Digital Gate";
constexpr char notWord[] = "ZURPM Error: Not a Signed16 or Unsigned16 Gate";
constexpr char notFloat[] = "ZURPM Error: Not a Float Gate";
constexpr char notWordOrFloat[] = "ZURPM Error: Not a Signed16, Unsigned16 or Float Gate";

constexpr AcceptedValue digitalPoint{ZUR_VALUE_DIGITAL, 1};
constexpr AcceptedValue signedWord{ZUR_VALUE_SIGNED16, 16};
constexpr AcceptedValue unsignedWord{ZUR_VALUE_UNSIGNED16, 16};
constexpr AcceptedValue floatValue{ZUR_VALUE_FLOAT, 32};

// Series 90 PLC memory, single gates.
constexpr SingleRegion plcSingleRegions[] = {
    {'I', memInputs, 0, false, {digitalPoint}, 1, notDigital},
    {'Q', memOutputs, 0, false, {digitalPoint}, 1, notDigital},
    {'T', memTemporary, 0, false, {digitalPoint}, 1, notDigital},
    {'M', memInternal, 0, false, {digitalPoint}, 1, notDigital},
    {'A', memSystemA, 0, false, {digitalPoint}, 1, notDigital},
    {'B', memSystemB, 0, false, {digitalPoint}, 1, notDigital},
    {'C', memSystemC, 0, false, {digitalPoint}, 1, notDigital},
    {'D', memSystem, 0, false, {digitalPoint}, 1, notDigital},
    {'G', memGlobal, 0, false, {digitalPoint}, 1, notDigital},
    {'R', memRegisters, -1, false, {signedWord, unsignedWord}, 2, notWord},
    {'L', memAnalogInputs, -1, false, {signedWord, unsignedWord}, 2, notWord},
    {'O', memAnalogOutputs, -1, false, {signedWord, unsignedWord}, 2, notWord},
    {'F', memRegisters, -1, true, {floatValue}, 1, notFloat},
};

// Genius I/O block global data, single gates. Floats of region A count floats, not words.
constexpr SingleRegion blockDataSingleRegions[] = {
    {'A', memBlockWords, -1, false, {signedWord, unsignedWord, floatValue}, 3, notWordOrFloat},
    {'D', memBlockPoint, 0, false, {digitalPoint}, 1, notDigital},
};

// Series 90 PLC memory, block gates: points from a byte boundary, up to 1024 of them, whole
// bytes above 128; words up to 64; floats up to 32.
constexpr BlockRegion plcBlockRegions[] = {
    {'I', memInputs, 0, 1, false, true, 1024, 128},
    {'Q', memOutputs, 0, 1, false, true, 1024, 128},
    {'T', memTemporary, 0, 1, false, true, 1024, 128},
    {'M', memInternal, 0, 1, false, true, 1024, 128},
    {'A', memSystemA, 0, 1, false, true, 1024, 128},
    {'B', memSystemB, 0, 1, false, true, 1024, 128},
    {'C', memSystemC, 0, 1, false, true, 1024, 128},
    {'D', memSystem, 0, 1, false, true, 1024, 128},
    {'G', memGlobal, 0, 1, false, true, 1024, 128},
    {'R', memRegisters, -1, 16, false, false, 64, 0},
    {'L', memAnalogInputs, -1, 16, false, false, 64, 0},
    {'O', memAnalogOutputs, -1, 16, false, false, 64, 0},
    {'F', memRegisters, -1, 32, true, false, 32, 0},
};

// Genius I/O block global data, block gates: words only (no float blocks).
constexpr BlockRegion blockDataBlockRegions[] = {
    {'A', memBlockWords, -1, 16, false, false, 64, 0},
    {'D', memBlockPoints, 0, 1, false, true, 128, 0},
};

template <typename Row, size_t count>
constexpr size_t rowCount(const Row (&)[count]) {
    return count;
}

constexpr PlcType plcTypes[] = {
    {'9', false, plcSingleRegions, rowCount(plcSingleRegions), plcBlockRegions,
     rowCount(plcBlockRegions)},
    {'G', true, blockDataSingleRegions, rowCount(blockDataSingleRegions), blockDataBlockRegions,
     rowCount(blockDataBlockRegions)},
};

// The words of a PLC whose single bits a gate can name.
constexpr BitOfWordRegion bitOfWordRegions[] = {
    {'R', memRegisters},
    {'L', memAnalogInputs},
    {'O', memAnalogOutputs},
};

template <typename Row>
const Row* findByLetter(const Row* rows, size_t count, char letter) {
    const char wanted = asciiUpper(letter);
    for (size_t index = 0; index < count; ++index)
        if (rows[index].letter == wanted) return &rows[index];
    return nullptr;
}

}  // namespace

const PlcType* findPlcType(char typeCharacter) {
    // The digit 9 is its own upper case, so one comparison in upper case serves both characters.
    const char wanted = asciiUpper(typeCharacter);
    for (const PlcType& type : plcTypes)
        if (type.character == wanted) return &type;
    return nullptr;
}

const SingleRegion* findSingleRegion(const PlcType& type, char regionLetter) {
    return findByLetter(type.singleRegions, type.singleRegionCount, regionLetter);
}

const BlockRegion* findBlockRegion(const PlcType& type, char regionLetter) {
    return findByLetter(type.blockRegions, type.blockRegionCount, regionLetter);
}

const BitOfWordRegion* findBitOfWordRegion(char regionLetter) {
    return findByLetter(bitOfWordRegions, rowCount(bitOfWordRegions), regionLetter);
}

const AcceptedValue* findAcceptedValue(const SingleRegion& region, int32_t valueType) {
    for (size_t index = 0; index < region.acceptedCount; ++index)
        if (region.accepted[index].valueType == valueType) return &region.accepted[index];
    return nullptr;
}

int32_t globalDataElements(int32_t width) { return globalDataBytes * 8 / width; }

}  // namespace zurpm
