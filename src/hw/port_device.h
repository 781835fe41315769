// The XPORTIO port and memory access device: one process-wide handle and six operations that map
// a card's shared memory into the process and read and write its I/O ports.
#pragma once

#include <cstdint>

#include "zurpm/little_endian.h"  // the device's records are little-endian

namespace zurpm {

// Device control codes (device type 0xD053, buffered, any access).
constexpr uint32_t XPORTIO_MAP_MEMORY = 0xD0532000;    // in MapMemoryRequest, out the address
constexpr uint32_t XPORTIO_UNMAP_MEMORY = 0xD0532004;  // in the address
constexpr uint32_t XPORTIO_READ_PORT = 0xD0532008;     // in 2 bytes port, out 2 bytes value
constexpr uint32_t XPORTIO_WRITE_PORT = 0xD053200C;    // in PortWriteRequest

// The map request as it crosses to the device: 24 bytes, little-endian, no gaps.
constexpr uint32_t mapMemoryRequestSize = 24;
constexpr uint32_t mapRequestInterfaceType = 0;  // 1, the ISA bus
constexpr uint32_t mapRequestBusNumber = 4;
constexpr uint32_t mapRequestPhysicalAddress = 8;  // 8 bytes
constexpr uint32_t mapRequestAddressSpace = 16;    // 0, memory space
constexpr uint32_t mapRequestLength = 20;
constexpr uint32_t isaInterfaceType = 1;

// The port write request: port, then value, both 16 bits.
constexpr uint32_t portWriteRequestSize = 4;

// The window of one card.
constexpr uint16_t cardWindowLength = 0x4000;

extern intptr_t deviceHandle;   // -1 while closed
extern uint32_t bytesReturned;  // handed to every request; nobody reads it

int openPortDevice();  // 1 open, 0 not
void closePortDevice();
volatile uint8_t* mapPhysicalMemory(uint16_t segment, uint16_t length);  // null on failure
void unmapPhysicalMemory(volatile uint8_t* address);
uint16_t readPort(uint16_t port);
int writePort(uint16_t port, uint16_t value);  // 0 accepted, 1 refused

}  // namespace zurpm
