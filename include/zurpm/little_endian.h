// Little-endian byte arithmetic: 16- and 32-bit numbers (and a 64-bit address) put into and taken from byte buffers low
// byte first, as every record and body on the bus lays them out (the XPORTIO device's requests,
// datagram bodies, the host's value buffer, the device server's messages). The driver, its posix
// client, the host tool, the emulator and the tests all take them from here.
//
// C++ only, standard library only, constexpr and without exceptions: the driver includes it.
#pragma once

#include <cstdint>

namespace zurpm {

constexpr void putLittle16(uint8_t* to, uint16_t value) {
    to[0] = static_cast<uint8_t>(value);
    to[1] = static_cast<uint8_t>(value >> 8);
}

constexpr void putLittle32(uint8_t* to, uint32_t value) {
    putLittle16(to, static_cast<uint16_t>(value));
    putLittle16(to + 2, static_cast<uint16_t>(value >> 16));
}

constexpr uint16_t getLittle16(const uint8_t* from) {
    return static_cast<uint16_t>(from[0] | (from[1] << 8));
}

constexpr uint32_t getLittle32(const uint8_t* from) {
    return getLittle16(from) | (static_cast<uint32_t>(getLittle16(from + 2)) << 16);
}

constexpr uint64_t getLittle64(const uint8_t* from) {
    return getLittle32(from) | (static_cast<uint64_t>(getLittle32(from + 4)) << 32);
}

}  // namespace zurpm
