// A gate's value in the host's value buffer: how large the buffer of an access is, and the bytes
// that carry the value, as the driver takes them for a write and as a host reads them after a
// read: a point is bit 0 of the word at byte 2, one bit of a word is set by the value 1 alone, and
// the bits past a block of points in its last byte are not the block's. Header only: the soak
// host, which loads the driver as a library, uses it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zurpm/little_endian.h"
#include "zurpm/memories.h"
#include "zurpm/records.h"

namespace zurpm::test {

inline bool isWordMemory(int32_t memoryType) {
    const MemoryRegion* region = memoryRegionOfCode(memoryType);
    return region != nullptr && unitOfCode(*region, memoryType) == MemoryUnit::word;
}

// One value: 4 bytes. A block of N: N words (N x 4 bytes for width 32), or ceil(N / 8) bytes of points.
inline size_t valueBufferSize(const HardwareAddress& address, int32_t count) {
    if (count == 1) return 4;
    if (isWordMemory(address.memoryType)) return static_cast<size_t>(count) * (address.width == 32 ? 4 : 2);
    return (static_cast<size_t>(count) + 7) / 8;
}

struct HostValue {
    size_t at = 0;  // first byte of the buffer that carries the value
    std::vector<uint8_t> bytes;
    bool operator==(const HostValue&) const = default;
};

inline HostValue hostValue(const HardwareAddress& address, int32_t count, const uint8_t* buffer) {
    const bool words = isWordMemory(address.memoryType);
    if (count == 1 && !(words && address.width == 32)) {
        const uint16_t word = getLittle16(buffer + 2);
        if (words && address.width == 1) return {2, {static_cast<uint8_t>(word == 1), 0}};
        if (!words) return {2, {static_cast<uint8_t>(word & 1), 0}};
        return {2, {buffer[2], buffer[3]}};
    }
    HostValue value{0, std::vector<uint8_t>(buffer, buffer + valueBufferSize(address, count))};
    if (!words && count % 8 != 0) value.bytes.back() = static_cast<uint8_t>(value.bytes.back() & ((1u << (count % 8)) - 1));
    return value;
}

}  // namespace zurpm::test
