// The wire format of a request packet's body, and how each memory-type code travels in it. One
// place for the header offsets, the datagram subfunctions, the byte-mode limits and the groups of
// codes, for the builder, the parser and the transport alike.
//
// Body: byte 0 is 0, byte 1 the segment selector (the memory-type code, or its byte-mode code),
// byte 2 is 0, bytes 3-4 the offset (little-endian), byte 5 the length, data from byte 6 on.
#pragma once

#include <cstdint>

#include "gates/memory_types.h"

namespace zurpm {

constexpr uint32_t bodySelectorByte = 1;
constexpr uint32_t bodyOffsetByte = 3;  // 16 bits, low byte first
constexpr uint32_t bodyLengthByte = 5;  // 8 bits
constexpr uint32_t bodyDataByte = 6;
constexpr uint32_t bodyHeaderBytes = 6;

// The most data one body carries: 64 words, 32 values of 32 bits, 1024 points in byte mode.
constexpr uint32_t bodyDataCapacity = 128;

constexpr uint32_t largestOffsetField = 0xFFFF;
constexpr uint32_t largestLengthField = 0xFF;

// Genius datagram subfunctions of the Read Device and Write Device exchange.
constexpr uint8_t subfunctionReadDevice = 30;
constexpr uint8_t subfunctionReadDeviceReply = 31;
constexpr uint8_t subfunctionWriteDevice = 32;
constexpr uint8_t subfunctionNoReply = 0;

// Blocks of PLC bit memory longer than this travel in byte mode (byte-mode code, offset and length
// in bytes). Reads switch above 128 points; writes, whose 8-bit length field counts points, above
// 255. Byte mode needs a start on a byte boundary and a whole number of bytes.
constexpr int32_t readBitModeLargest = 128;
constexpr int32_t writeBitModeLargest = 255;

constexpr int32_t pointsPerByte = 8;

// How a memory-type code travels.
enum class PacketGroup : uint8_t {
    none,          // no gate has this code: refused
    words,         // 16-bit words, or pairs of them for width 32
    points,        // PLC bit memory: points in bit mode, whole bytes in byte mode
    globalPoint,   // one point of a Genius block's global data
    globalPoints,  // a block of global-data points from a byte boundary, offset and length in bytes
};

struct CodeGroup {
    int32_t code;
    PacketGroup group;
    bool globalData;  // served from the card's global-data tables, not by a datagram
};
inline constexpr CodeGroup codeGroups[] = {
    {memRegisters, PacketGroup::words, false},
    {memAnalogInputs, PacketGroup::words, false},
    {memAnalogOutputs, PacketGroup::words, false},
    {memBlockWords, PacketGroup::words, true},
    {memInputs, PacketGroup::points, false},
    {memOutputs, PacketGroup::points, false},
    {memTemporary, PacketGroup::points, false},
    {memInternal, PacketGroup::points, false},
    {memSystemA, PacketGroup::points, false},
    {memSystemB, PacketGroup::points, false},
    {memSystemC, PacketGroup::points, false},
    {memSystem, PacketGroup::points, false},
    {memGlobal, PacketGroup::points, false},
    {memBlockPoint, PacketGroup::globalPoint, true},
    {memBlockPoints, PacketGroup::globalPoints, true},
};

constexpr CodeGroup codeGroupOf(int32_t code) {
    for (const CodeGroup& entry : codeGroups)
        if (entry.code == code) return entry;
    return {code, PacketGroup::none, false};
}

}  // namespace zurpm
