// The memory regions an address can name: for each PLC type character and region letter, the
// memory-type code and the shape of its elements, for single gates, block gates and single bits
// of a word. The rows are data; the definitions only look them up.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zurpm {

// A value type that a region takes for a single gate, and the width it gives.
struct AcceptedValue {
    int32_t valueType;
    int32_t width;
};

// One region of a single gate.
struct SingleRegion {
    char letter;  // upper case
    int32_t memoryType;
    int32_t bit;
    bool halvesOffset;  // the element number counts registers, the offset counts floats
    AcceptedValue accepted[3];
    size_t acceptedCount;
    const char* valueTypeMessage;  // the gate's value type is none of the accepted ones
};

// One region of a block gate.
struct BlockRegion {
    char letter;  // upper case
    int32_t memoryType;
    int32_t bit;
    int32_t width;
    bool halvesOffset;
    bool startsOnByteBoundary;   // the offset must be a multiple of 8
    int32_t largestBlockSize;
    int32_t wholeBytesAbove;     // larger blocks must be a multiple of 8 points; 0: no such rule
};

// One region of a bit of a word.
struct BitOfWordRegion {
    char letter;  // upper case
    int32_t memoryType;
};

// The regions behind one PLC type character.
struct PlcType {
    char character;               // upper case
    bool inGlobalData;            // the regions lie in a Genius device's global-data table
    const SingleRegion* singleRegions;
    size_t singleRegionCount;
    const BlockRegion* blockRegions;
    size_t blockRegionCount;
};

// The PLC type of an address character (compared in upper case), or null when there is none.
const PlcType* findPlcType(char typeCharacter);
// The region of a letter (compared in upper case) of the type, or null when the type lacks it.
const SingleRegion* findSingleRegion(const PlcType& type, char regionLetter);
const BlockRegion* findBlockRegion(const PlcType& type, char regionLetter);
const BitOfWordRegion* findBitOfWordRegion(char regionLetter);

// The accepted value of a region for a value type, or null when the region refuses it.
const AcceptedValue* findAcceptedValue(const SingleRegion& region, int32_t valueType);

// Elements of the given width that one device's global-data table holds.
int32_t globalDataElements(int32_t width);

}  // namespace zurpm
