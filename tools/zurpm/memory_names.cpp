// The memory-type codes of Series 90 PLC memory and of Genius I/O block data.
#include "memory_names.h"

#include <array>

namespace zurtool {

namespace {

struct MemoryName {
    int32_t code;
    const char* name;
};

constexpr std::array<MemoryName, 24> memoryNames{{
    {8, "%R registers"},
    {10, "%AI analog inputs"},
    {12, "%AQ analog outputs"},
    {16, "%I discrete inputs, bytes"},
    {18, "%Q discrete outputs, bytes"},
    {20, "%T temporary references, bytes"},
    {22, "%M internal references, bytes"},
    {24, "%SA system references, bytes"},
    {26, "%SB system references, bytes"},
    {28, "%SC system references, bytes"},
    {30, "%S system references, bytes"},
    {56, "%G global data, bytes"},
    {70, "%I discrete inputs"},
    {72, "%Q discrete outputs"},
    {74, "%T temporary references"},
    {76, "%M internal references"},
    {78, "%SA system references"},
    {80, "%SB system references"},
    {82, "%SC system references"},
    {84, "%S system references"},
    {86, "%G global data"},
    {128, "Genius block digital data"},
    {129, "Genius block digital data, block"},
    {130, "Genius block analog data"},
}};

}  // namespace

const char* memoryName(int32_t memoryType) {
    for (const MemoryName& entry : memoryNames)
        if (entry.code == memoryType) return entry.name;
    return "unknown memory";
}

}  // namespace zurtool
