// Memory-type codes of Series 90 PLC memory and Genius I/O block data, and the address regions
// that name them.
#include "regions.h"

#include <array>

namespace zurtool {

namespace {

constexpr std::array<Memory, 24> memories{{
    {8, "%R", "%R registers", MemoryUnit::word},
    {10, "%AI", "%AI analog inputs", MemoryUnit::word},
    {12, "%AQ", "%AQ analog outputs", MemoryUnit::word},
    {16, "%I bytes", "%I discrete inputs, bytes", MemoryUnit::byte},
    {18, "%Q bytes", "%Q discrete outputs, bytes", MemoryUnit::byte},
    {20, "%T bytes", "%T temporary references, bytes", MemoryUnit::byte},
    {22, "%M bytes", "%M internal references, bytes", MemoryUnit::byte},
    {24, "%SA bytes", "%SA system references, bytes", MemoryUnit::byte},
    {26, "%SB bytes", "%SB system references, bytes", MemoryUnit::byte},
    {28, "%SC bytes", "%SC system references, bytes", MemoryUnit::byte},
    {30, "%S bytes", "%S system references, bytes", MemoryUnit::byte},
    {56, "%G bytes", "%G global data, bytes", MemoryUnit::byte},
    {70, "%I", "%I discrete inputs", MemoryUnit::point},
    {72, "%Q", "%Q discrete outputs", MemoryUnit::point},
    {74, "%T", "%T temporary references", MemoryUnit::point},
    {76, "%M", "%M internal references", MemoryUnit::point},
    {78, "%SA", "%SA system references", MemoryUnit::point},
    {80, "%SB", "%SB system references", MemoryUnit::point},
    {82, "%SC", "%SC system references", MemoryUnit::point},
    {84, "%S", "%S system references", MemoryUnit::point},
    {86, "%G", "%G global data", MemoryUnit::point},
    {128, "block digital", "Genius block digital data", MemoryUnit::point},
    {129, "block digital", "Genius block digital data, block", MemoryUnit::byte},
    {130, "block analog", "Genius block analog data", MemoryUnit::word},
}};

constexpr int32_t wordBlock = 64;
constexpr int32_t floatBlock = 32;
constexpr int32_t pointBlock = largestBlockOfAnyRegion;
constexpr int32_t blockDataPointBlock = 128;

constexpr std::array<Region, 15> regions{{
    {'9', 'R', 8, ElementShape::word, wordBlock, false},
    {'9', 'L', 10, ElementShape::word, wordBlock, false},
    {'9', 'O', 12, ElementShape::word, wordBlock, false},
    {'9', 'F', 8, ElementShape::float32, floatBlock, false},
    {'9', 'I', 70, ElementShape::point, pointBlock, true},
    {'9', 'Q', 72, ElementShape::point, pointBlock, true},
    {'9', 'T', 74, ElementShape::point, pointBlock, true},
    {'9', 'M', 76, ElementShape::point, pointBlock, true},
    {'9', 'A', 78, ElementShape::point, pointBlock, true},
    {'9', 'B', 80, ElementShape::point, pointBlock, true},
    {'9', 'C', 82, ElementShape::point, pointBlock, true},
    {'9', 'D', 84, ElementShape::point, pointBlock, true},
    {'9', 'G', 86, ElementShape::point, pointBlock, true},
    {'G', 'A', 130, ElementShape::word, wordBlock, false},
    {'G', 'D', 128, ElementShape::point, blockDataPointBlock, true},
}};

constexpr size_t typePosition = 2;
constexpr size_t regionPosition = 3;

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool isGeniusBlockData(int32_t code) { return code >= 128 && code <= 130; }

const Memory* memoryOfCode(int32_t code) {
    for (const Memory& memory : memories)
        if (memory.code == code) return &memory;
    return nullptr;
}

const char* memoryName(int32_t code) {
    const Memory* memory = memoryOfCode(code);
    return memory != nullptr ? memory->name : "unknown memory";
}

const Region* regionOfAddress(std::string_view address) {
    if (address.size() <= regionPosition) return nullptr;
    // The PLC type 9 is compared as it stands, G in any case, as the driver does.
    const char plcType = upper(address[typePosition]);
    const char letter = upper(address[regionPosition]);
    for (const Region& region : regions)
        if (region.plcType == plcType && region.letter == letter) return &region;
    return nullptr;
}

const Region* regionOfMemory(int32_t memoryType, ElementShape shape) {
    for (const Region& region : regions)
        if (region.memoryType == memoryType && region.shape == shape) return &region;
    return nullptr;
}

}  // namespace zurtool
