// The region tables of gate addresses, built at compile time from the rows of zurpm/memories.h:
// what a region accepts and writes follows from its codes and the kind of its elements. Type 9 is
// Series 90 PLC memory, reached by datagrams; type G is the global data of Genius I/O blocks in
// the card's tables.
#include "gates/region_tables.h"

#include <array>

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

// What a single gate of each kind of element accepts, and the message when it accepts none.
struct SingleShape {
    AcceptedValue accepted[3];
    size_t acceptedCount;
    const char* valueTypeMessage;
};

constexpr SingleShape singleShapeOf(ElementKind element) {
    switch (element) {
    case ElementKind::point: return {{digitalPoint}, 1, notDigital};
    case ElementKind::word: return {{signedWord, unsignedWord}, 2, notWord};
    case ElementKind::float32: return {{floatValue}, 1, notFloat};
    case ElementKind::wordOrFloat: break;
    }
    return {{signedWord, unsignedWord, floatValue}, 3, notWordOrFloat};
}

// Points are named one by one (bit 0); words and floats as whole elements (bit -1).
constexpr int32_t bitOf(ElementKind element) { return element == ElementKind::point ? 0 : -1; }

// Width of a block's elements: a block of region A of type G holds words only (no float blocks).
constexpr int32_t blockWidthOf(ElementKind element) {
    switch (element) {
    case ElementKind::point: return 1;
    case ElementKind::float32: return 32;
    case ElementKind::word:
    case ElementKind::wordOrFloat: break;
    }
    return 16;
}

constexpr SingleRegion singleRegionOf(const MemoryRegion& row) {
    const SingleShape shape = singleShapeOf(row.element);
    return {row.letter,
            row.code,
            bitOf(row.element),
            row.element == ElementKind::float32,
            {shape.accepted[0], shape.accepted[1], shape.accepted[2]},
            shape.acceptedCount,
            shape.valueTypeMessage};
}

constexpr BlockRegion blockRegionOf(const MemoryRegion& row) {
    return {row.letter,
            row.blockCode,
            bitOf(row.element),
            blockWidthOf(row.element),
            row.element == ElementKind::float32,
            row.element == ElementKind::point,  // blocks of points start on a byte boundary
            row.largestBlock,
            row.wholeBytesAbove};
}

constexpr size_t regionCount(bool (*wanted)(const MemoryRegion&)) {
    size_t count = 0;
    for (const MemoryRegion& row : memoryRegions) count += wanted(row) ? 1 : 0;
    return count;
}

// The rows of the memory table that a predicate picks, each made into a region of the driver.
template <typename Region, bool (*wanted)(const MemoryRegion&), Region (*make)(const MemoryRegion&)>
constexpr std::array<Region, regionCount(wanted)> regionsOf() {
    std::array<Region, regionCount(wanted)> regions{};
    size_t next = 0;
    for (const MemoryRegion& row : memoryRegions)
        if (wanted(row)) regions[next++] = make(row);
    return regions;
}

constexpr bool ofSeries90(const MemoryRegion& row) { return row.plcType == plcTypeSeries90; }
constexpr bool ofGeniusBlock(const MemoryRegion& row) { return row.plcType == plcTypeGeniusBlock; }
constexpr bool withBitsOfWords(const MemoryRegion& row) { return row.bitsOfWords; }
constexpr BitOfWordRegion bitOfWordRegionOf(const MemoryRegion& row) { return {row.letter, row.code}; }

constexpr auto plcSingleRegions = regionsOf<SingleRegion, ofSeries90, singleRegionOf>();
constexpr auto blockDataSingleRegions = regionsOf<SingleRegion, ofGeniusBlock, singleRegionOf>();
constexpr auto plcBlockRegions = regionsOf<BlockRegion, ofSeries90, blockRegionOf>();
constexpr auto blockDataBlockRegions = regionsOf<BlockRegion, ofGeniusBlock, blockRegionOf>();
// The words of a PLC whose single bits a gate can name.
constexpr auto bitOfWordRegions = regionsOf<BitOfWordRegion, withBitsOfWords, bitOfWordRegionOf>();

constexpr PlcType plcTypes[] = {
    {plcTypeSeries90, false, plcSingleRegions.data(), plcSingleRegions.size(), plcBlockRegions.data(),
     plcBlockRegions.size()},
    {plcTypeGeniusBlock, true, blockDataSingleRegions.data(), blockDataSingleRegions.size(),
     blockDataBlockRegions.data(), blockDataBlockRegions.size()},
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
    return findByLetter(bitOfWordRegions.data(), bitOfWordRegions.size(), regionLetter);
}

const AcceptedValue* findAcceptedValue(const SingleRegion& region, int32_t valueType) {
    for (size_t index = 0; index < region.acceptedCount; ++index)
        if (region.accepted[index].valueType == valueType) return &region.accepted[index];
    return nullptr;
}

int32_t globalDataElements(int32_t width) { return globalDataBytes * 8 / width; }

}  // namespace zurpm
