// Little-endian fields of the device's records and of the socket's wire.
#pragma once

#include <cstdint>

namespace pcimemu {

inline uint32_t getU32(const uint8_t* from) {
    return static_cast<uint32_t>(from[0]) | static_cast<uint32_t>(from[1]) << 8 |
           static_cast<uint32_t>(from[2]) << 16 | static_cast<uint32_t>(from[3]) << 24;
}

inline uint64_t getU64(const uint8_t* from) { return getU32(from) | static_cast<uint64_t>(getU32(from + 4)) << 32; }

inline void putU32(uint8_t* to, uint32_t value) {
    for (int i = 0; i < 4; ++i) to[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace pcimemu
