// The memories on the bus, in one table. Each memory-type code that a HardwareAddress carries and
// that a Read Device or Write Device datagram sends as its segment selector, and each address
// region (PLC type character and region letter) that names one: its codes for single gates, block
// gates and byte mode, how its elements are counted, its largest block, and its names as a PLC
// programmer writes them.
//
// The driver builds its region tables from these rows (src/gates/region_tables.cpp); the host tool,
// the tests and the simulation read them instead of keeping copies. The emulator, the other side
// of the bus, keeps its own (pcimemu/series90_map.h), and tests/emulator/memories_test.cpp holds
// the two equal at compile time.
//
// C++ only, standard library only, constexpr and without exceptions: the driver includes it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zurpm {

// Codes 8 to 86 are the Series 90 segment selectors of the Genius datagrams; 128 to 130 are the
// driver's own codes for Genius I/O block data in the card's global-data tables.
enum MemoryType : int32_t {
    memRegisters = 8,        // %R, words
    memAnalogInputs = 10,    // %AI, words
    memAnalogOutputs = 12,   // %AQ, words
    memInputsBytes = 16,     // %I, byte mode
    memOutputsBytes = 18,    // %Q
    memTemporaryBytes = 20,  // %T
    memInternalBytes = 22,   // %M
    memSystemABytes = 24,    // %SA
    memSystemBBytes = 26,    // %SB
    memSystemCBytes = 28,    // %SC
    memSystemBytes = 30,     // %S
    memGlobalBytes = 56,     // %G
    memInputs = 70,          // %I, bit mode
    memOutputs = 72,         // %Q
    memTemporary = 74,       // %T
    memInternal = 76,        // %M
    memSystemA = 78,         // %SA
    memSystemB = 80,         // %SB
    memSystemC = 82,         // %SC
    memSystem = 84,          // %S
    memGlobal = 86,          // %G
    memBlockPoint = 128,     // Genius block global data, one digital point
    memBlockPoints = 129,    // Genius block global data, a block of points from a byte boundary
    memBlockWords = 130,     // Genius block global data, words (floats when width is 32)
};

// How a code counts offset and length in a request: 16-bit words, points (bits), or bytes.
enum class MemoryUnit : uint8_t { word, point, byte };

// What one element of a region's gate holds.
enum class ElementKind : uint8_t {
    point,        // one digital point, width 1
    word,         // one 16-bit word, width 16
    float32,      // a float over two registers, width 32; the element number counts registers
    wordOrFloat,  // a word, or for a single gate of float values a float (counted in floats)
};

constexpr char plcTypeSeries90 = '9';    // Series 90 PLC memory, reached by datagrams
constexpr char plcTypeGeniusBlock = 'G';  // Genius I/O block data, in the card's global-data tables

struct MemoryRegion {
    char plcType;          // plcTypeSeries90 or plcTypeGeniusBlock
    char letter;           // region letter, upper case
    int32_t code;          // of a single gate; for points, the bit-mode selector
    int32_t blockCode;     // of a block gate
    int32_t byteModeCode;  // the same memory counted in bytes; 0: none
    MemoryUnit unit;       // of code
    MemoryUnit blockUnit;  // of blockCode
    ElementKind element;
    bool bitsOfWords;        // a gate can name one bit of its words
    int32_t largestBlock;    // elements of the longest block gate
    int32_t wholeBytesAbove;  // a longer block of points holds whole bytes; 0: no such rule
    const char* reference;  // as a PLC programmer writes it: "%R", "block analog"
    const char* name;       // in words: "%R registers"
};

// Blocks of PLC points above this many travel in byte mode, in whole bytes.
constexpr int32_t largestBitModeBlock = 128;

inline constexpr MemoryRegion memoryRegions[] = {
    // Series 90 PLC words: registers, analog inputs, analog outputs; floats are pairs of registers.
    {'9', 'R', memRegisters, memRegisters, 0, MemoryUnit::word, MemoryUnit::word, ElementKind::word, true, 64, 0,
     "%R", "%R registers"},
    {'9', 'L', memAnalogInputs, memAnalogInputs, 0, MemoryUnit::word, MemoryUnit::word, ElementKind::word, true, 64, 0,
     "%AI", "%AI analog inputs"},
    {'9', 'O', memAnalogOutputs, memAnalogOutputs, 0, MemoryUnit::word, MemoryUnit::word, ElementKind::word, true, 64, 0,
     "%AQ", "%AQ analog outputs"},
    {'9', 'F', memRegisters, memRegisters, 0, MemoryUnit::word, MemoryUnit::word, ElementKind::float32, false, 32, 0,
     "%R", "%R registers"},
    // Series 90 PLC points, in bit mode by their code and in byte mode by their byte-mode code.
    {'9', 'I', memInputs, memInputs, memInputsBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point, false,
     1024, largestBitModeBlock, "%I", "%I discrete inputs"},
    {'9', 'Q', memOutputs, memOutputs, memOutputsBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point, false,
     1024, largestBitModeBlock, "%Q", "%Q discrete outputs"},
    {'9', 'T', memTemporary, memTemporary, memTemporaryBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point,
     false, 1024, largestBitModeBlock, "%T", "%T temporary references"},
    {'9', 'M', memInternal, memInternal, memInternalBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point,
     false, 1024, largestBitModeBlock, "%M", "%M internal references"},
    {'9', 'A', memSystemA, memSystemA, memSystemABytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point,
     false, 1024, largestBitModeBlock, "%SA", "%SA system references"},
    {'9', 'B', memSystemB, memSystemB, memSystemBBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point,
     false, 1024, largestBitModeBlock, "%SB", "%SB system references"},
    {'9', 'C', memSystemC, memSystemC, memSystemCBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point,
     false, 1024, largestBitModeBlock, "%SC", "%SC system references"},
    {'9', 'D', memSystem, memSystem, memSystemBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point, false,
     1024, largestBitModeBlock, "%S", "%S system references"},
    {'9', 'G', memGlobal, memGlobal, memGlobalBytes, MemoryUnit::point, MemoryUnit::point, ElementKind::point, false,
     1024, largestBitModeBlock, "%G", "%G global data"},
    // Genius I/O block global data: words (no float blocks), and points, whose blocks count bytes
    // of the device's table from a byte boundary.
    {'G', 'A', memBlockWords, memBlockWords, 0, MemoryUnit::word, MemoryUnit::word, ElementKind::wordOrFloat, false,
     64, 0, "block analog", "Genius block analog data"},
    {'G', 'D', memBlockPoint, memBlockPoints, 0, MemoryUnit::point, MemoryUnit::byte, ElementKind::point, false, 128,
     0, "block digital", "Genius block digital data"},
};

constexpr char upperCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The region of a PLC type character and a region letter, both in any case, or null.
constexpr const MemoryRegion* memoryRegionOf(char plcType, char letter) {
    for (const MemoryRegion& region : memoryRegions)
        if (region.plcType == upperCase(plcType) && region.letter == upperCase(letter)) return &region;
    return nullptr;
}

// The first region whose single gates, block gates or byte mode use a code, or null.
constexpr const MemoryRegion* memoryRegionOfCode(int32_t code) {
    for (const MemoryRegion& region : memoryRegions)
        if (region.code == code || region.blockCode == code || region.byteModeCode == code) return &region;
    return nullptr;
}

// The unit in which a code counts, for codes that memoryRegionOfCode finds.
constexpr MemoryUnit unitOfCode(const MemoryRegion& region, int32_t code) {
    if (code == region.byteModeCode) return MemoryUnit::byte;
    return code == region.code ? region.unit : region.blockUnit;
}

// The byte-mode code of a bit-mode code, or 0 when the code has none.
constexpr int32_t byteModeCode(int32_t bitModeCode) {
    for (const MemoryRegion& region : memoryRegions)
        if (region.code == bitModeCode && region.byteModeCode != 0) return region.byteModeCode;
    return 0;
}

constexpr bool isGeniusBlockData(int32_t code) {
    const MemoryRegion* region = memoryRegionOfCode(code);
    return region != nullptr && region->plcType == plcTypeGeniusBlock;
}

}  // namespace zurpm
