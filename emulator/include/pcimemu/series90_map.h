// The segment selectors that a Series 90 PLC knows in Read Device and Write Device datagrams, as
// the PLC itself has them: which memory each one reaches and how it counts offset and length. The
// emulator answers from these; the driver has its own table (zurpm/memories.h), and
// tests/emulator/memories_test.cpp keeps the two equal at compile time.
#pragma once

#include <cstdint>

#include "pcimemu/emulator.h"

namespace pcimemu::series90 {

// How a selector counts offset and length: 16-bit words (2 bytes each, low byte first), points
// (the data are the memory's own bytes from the one holding the first point to the one holding the
// last), or bytes of the same discrete memory.
enum class Addressing { words, points, bytes };

struct Segment {
    uint8_t selector;
    PlcMemory memory;
    Addressing addressing;
};

inline constexpr Segment segments[] = {
    {8, PlcMemory::R, Addressing::words},
    {10, PlcMemory::AI, Addressing::words},
    {12, PlcMemory::AQ, Addressing::words},
    {16, PlcMemory::I, Addressing::bytes},
    {18, PlcMemory::Q, Addressing::bytes},
    {20, PlcMemory::T, Addressing::bytes},
    {22, PlcMemory::M, Addressing::bytes},
    {24, PlcMemory::SA, Addressing::bytes},
    {26, PlcMemory::SB, Addressing::bytes},
    {28, PlcMemory::SC, Addressing::bytes},
    {30, PlcMemory::S, Addressing::bytes},
    {56, PlcMemory::G, Addressing::bytes},
    {70, PlcMemory::I, Addressing::points},
    {72, PlcMemory::Q, Addressing::points},
    {74, PlcMemory::T, Addressing::points},
    {76, PlcMemory::M, Addressing::points},
    {78, PlcMemory::SA, Addressing::points},
    {80, PlcMemory::SB, Addressing::points},
    {82, PlcMemory::SC, Addressing::points},
    {84, PlcMemory::S, Addressing::points},
    {86, PlcMemory::G, Addressing::points},
};

// The segment of a selector, or null when the PLC knows none (a process error).
constexpr const Segment* segmentOf(uint32_t selector) {
    for (const Segment& segment : segments)
        if (segment.selector == selector) return &segment;
    return nullptr;
}

// The selector that reaches a memory by an addressing, or 0.
constexpr uint8_t selectorOf(PlcMemory memory, Addressing addressing) {
    for (const Segment& segment : segments)
        if (segment.memory == memory && segment.addressing == addressing) return segment.selector;
    return 0;
}

}  // namespace pcimemu::series90
