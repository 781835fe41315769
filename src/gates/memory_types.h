// Memory-type codes: the numbers that name PLC memory and Genius block data in a hardware address,
// and that travel as the segment selector of Read Device and Write Device datagrams.
#pragma once

#include <cstdint>

namespace zurpm {

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

// Each bit-mode code of PLC memory and the byte-mode code of the same memory.
struct ByteModePair {
    int32_t bitMode;
    int32_t byteMode;
};
inline constexpr ByteModePair byteModeTable[] = {
    {memInputs, memInputsBytes},       {memOutputs, memOutputsBytes},
    {memTemporary, memTemporaryBytes}, {memInternal, memInternalBytes},
    {memSystemA, memSystemABytes},     {memSystemB, memSystemBBytes},
    {memSystemC, memSystemCBytes},     {memSystem, memSystemBytes},
    {memGlobal, memGlobalBytes},
};

// The byte-mode code of a bit-mode code, or 0 when the code has none.
constexpr int32_t byteModeCode(int32_t bitModeCode) {
    for (const ByteModePair& pair : byteModeTable)
        if (pair.bitMode == bitModeCode) return pair.byteMode;
    return 0;
}

// One Genius device's global-data table, and what it holds.
constexpr int32_t globalDataBytes = 128;

}  // namespace zurpm
