// What the tool knows of the driver's memories and address regions, as a view of the one table of
// memories (zurpm/memories.h): the memory-type codes with their names, the address letters of each
// region with the memory it names, its elements and its block limits. Value types by region, block
// shapes, the names that `check` and pcimsim's trace show, and the grouping of gates into block
// reads all come from here.
#pragma once

#include <cstdint>
#include <string_view>

#include "zurpm/memories.h"

namespace zurtool {

// What one element of a gate is, by the address region.
enum class ElementShape { word, float32, point, unknown };

// The unit of a memory-type code in a request: 16-bit words, points, or bytes of points.
using zurpm::MemoryUnit;

struct Memory {
    int32_t code;           // memory-type code of a HardwareAddress and of a datagram
    const char* reference;  // as a PLC programmer writes it: "%R", "%I bytes", "block analog"
    const char* name;       // in words: "%R registers"
    MemoryUnit unit;
};

struct Region {
    char plcType;  // '9' Series 90 PLC memory, 'G' Genius I/O block data
    char letter;   // region letter, upper case
    int32_t memoryType;       // of a single gate (a block of region GD has 129)
    ElementShape shape;
    int32_t largestBlock;     // elements of the longest block gate
    bool blockStartsOnByte;   // a block starts on a byte boundary (points), and above 128 points
                              // holds whole bytes
};

// Codes 128 to 130: Genius I/O block data in the card's global-data tables, not PLC memory.
using zurpm::isGeniusBlockData;

// The memory of a code, or null.
const Memory* memoryOfCode(int32_t code);
// "%R registers", ...; "unknown memory" for a code without a name.
const char* memoryName(int32_t code);

// The region that an address string names (PLC type at position 2, region letter at 3, any
// case), or null.
const Region* regionOfAddress(std::string_view address);
// The region whose single gates of this shape are written with this memory-type code (R for
// words of code 8, F for floats of code 8), or null.
const Region* regionOfMemory(int32_t memoryType, ElementShape shape);

constexpr int32_t largestOf(int32_t zurpm::MemoryRegion::*field) {
    int32_t largest = 0;
    for (const zurpm::MemoryRegion& region : zurpm::memoryRegions)
        if (region.*field > largest) largest = region.*field;
    return largest;
}
// Largest block of any region: points of PLC memory.
constexpr int32_t largestBlockOfAnyRegion = largestOf(&zurpm::MemoryRegion::largestBlock);
// Above this many points a block holds whole bytes.
constexpr int32_t largestBlockOfAnyPoints = largestOf(&zurpm::MemoryRegion::wholeBytesAbove);

}  // namespace zurtool
