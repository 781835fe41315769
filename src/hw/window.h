// A PCIM card's 16 KB shared memory window and its I/O ports: every location the driver touches,
// and the only functions through which the driver reads and writes a window.
//
// The card changes its memory on its own (status, heartbeat, replies, tables), possibly from
// another thread or process when the card is emulated. Every read here is a fresh read of the
// memory and every write is performed in program order, as acquire loads and release stores of
// single bytes; a 16-bit value is two bytes, low byte first, as on the card's 8-bit bus.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zurpm::window {

// Configuration and identification.
constexpr uint32_t ownDeviceNumber = 0x882;  // first byte of the configuration block; low 5 bits
constexpr uint32_t configBlock = 0x882;      // 0x882 to 0x887
constexpr uint32_t configWord1 = 0x883;      // 2 bytes
constexpr uint32_t configByte3 = 0x885;
constexpr uint32_t configByte4 = 0x886;
constexpr uint32_t configByte5 = 0x887;
constexpr uint32_t cardVersion = 0x892;
constexpr uint32_t heartbeat = 0x893;        // 1 while the card is alive
constexpr uint32_t flagBlockA = 0x8A2;       // 8 bytes
constexpr uint32_t flagBlockB = 0x8B2;       // 8 bytes
constexpr uint32_t flagBlockLength = 8;

// Host command interface.
constexpr uint32_t commandStatus = 0x8C2;
constexpr uint32_t commandCode = 0x8C3;
constexpr uint32_t commandParams = 0x8C4;    // 7 bytes
constexpr uint32_t replyLength = 0x8CA;      // commandParams byte 6 of a read datagram
constexpr uint32_t requestData = 0x8D2;
constexpr uint32_t requestDataRoom = 0x9C2 - 0x8D2;  // 240
constexpr uint32_t replyData = 0x9C2;
constexpr uint32_t replyDataRoom = 0xA48 - 0x9C2;    // 134

// Command codes and the card's answers in commandStatus.
constexpr uint8_t commandConfigure = 4;
constexpr uint8_t commandSendDatagram = 2;       // write
constexpr uint8_t commandSendDatagramReply = 3;  // read
constexpr uint8_t statusIssue = 1;               // written by the driver, last, to start a command
constexpr uint8_t statusBusyMask = 0x03;
constexpr uint8_t statusCompleted = 0x04;
constexpr uint8_t statusSyntaxError = 0x08;
constexpr uint8_t statusProcessError = 0x10;
constexpr uint8_t configAccepted = 4;
constexpr uint8_t configSyntaxError = 8;
constexpr uint8_t configNoChange = 16;

// Datagram command block.
constexpr uint8_t geniusDatagramFunction = 0x20;

// Global data.
constexpr uint32_t lockoutRequest = 0xA48;
constexpr uint32_t lockoutGranted = 0xA49;
constexpr uint32_t deviceTable = 0x1E02;     // 32 entries of 8 bytes; first byte: present
constexpr uint32_t deviceTableEntry = 8;
constexpr uint32_t ownOutputTable = 0x1F80;  // 128 bytes
constexpr uint32_t inputTables = 0x2000;     // 32 tables of 128 bytes, to 0x2FFF
constexpr uint32_t globalTableLength = 128;
constexpr uint32_t deviceCount = 32;

constexpr uint32_t presenceOffset(uint32_t device) { return deviceTable + deviceTableEntry * device; }
constexpr uint32_t inputTableOffset(uint32_t device) { return inputTables + globalTableLength * device; }

// The window's size.
constexpr uint32_t length = 0x4000;

// I/O ports, from the card's first port.
constexpr uint16_t ioStatus = 0;
constexpr uint16_t ioControl = 1;
constexpr uint16_t ioRegister3 = 3;
constexpr uint8_t statusOkMissing = 0x08;   // ioStatus: the card's OK signal never came
constexpr uint8_t statusCommError = 0x10;   // ioStatus: communications error

// Access. window is the mapped base; offset is from it.
inline uint8_t read8(const volatile uint8_t* base, uint32_t offset) {
    return __atomic_load_n(base + offset, __ATOMIC_ACQUIRE);
}
inline void write8(volatile uint8_t* base, uint32_t offset, uint8_t value) {
    __atomic_store_n(base + offset, value, __ATOMIC_RELEASE);
}
inline uint16_t read16(const volatile uint8_t* base, uint32_t offset) {
    const uint8_t low = read8(base, offset);
    const uint8_t high = read8(base, offset + 1);
    return static_cast<uint16_t>(low | (high << 8));
}
inline void write16(volatile uint8_t* base, uint32_t offset, uint16_t value) {
    write8(base, offset, static_cast<uint8_t>(value));
    write8(base, offset + 1, static_cast<uint8_t>(value >> 8));
}
inline void readBytes(const volatile uint8_t* base, uint32_t offset, uint8_t* to, size_t count) {
    for (size_t i = 0; i < count; ++i) to[i] = read8(base, offset + static_cast<uint32_t>(i));
}
inline void writeBytes(volatile uint8_t* base, uint32_t offset, const uint8_t* from, size_t count) {
    for (size_t i = 0; i < count; ++i) write8(base, offset + static_cast<uint32_t>(i), from[i]);
}
inline void fill(volatile uint8_t* base, uint32_t offset, uint8_t value, size_t count) {
    for (size_t i = 0; i < count; ++i) write8(base, offset + static_cast<uint32_t>(i), value);
}

}  // namespace zurpm::window
