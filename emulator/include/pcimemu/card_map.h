// The PCIM card's shared memory and ports as the card itself lays them out: offsets in its 16 KB
// window, its command and status codes, and the port numbers from its first port. The emulator
// works from these; the driver has its own copy in src/hw/window.h, and a test keeps the two equal.
#pragma once

#include <cstdint>

namespace pcimemu::cardmap {

constexpr uint32_t windowLength = 0x4000;

// Identification and configuration.
constexpr uint32_t ownDeviceNumber = 0x882;  // low five bits: the card's Genius device number
constexpr uint32_t configBlock = 0x882;      // 0x882 to 0x887, the PC writes 0x883 to 0x887
constexpr uint32_t configBlockLength = 6;
constexpr uint32_t cardVersion = 0x892;
constexpr uint32_t heartbeat = 0x893;

// Host command interface.
constexpr uint32_t commandStatus = 0x8C2;
constexpr uint32_t commandCode = 0x8C3;
constexpr uint32_t commandParams = 0x8C4;
constexpr uint32_t commandParamsLength = 7;
constexpr uint32_t replyLength = 0x8CA;      // commandParams byte 6
constexpr uint32_t requestData = 0x8D2;
constexpr uint32_t requestDataRoom = 240;
constexpr uint32_t replyData = 0x9C2;
constexpr uint32_t replyDataRoom = 134;

constexpr uint8_t commandIssued = 1;         // the PC's "take this command"
constexpr uint8_t commandBusy = 2;           // the card is working on it
constexpr uint8_t busyMask = 0x03;
constexpr uint8_t completed = 0x04;
constexpr uint8_t syntaxError = 0x08;
constexpr uint8_t processError = 0x10;
constexpr uint8_t configurationAccepted = 4;

constexpr uint8_t codeSendDatagram = 2;
constexpr uint8_t codeSendDatagramWithReply = 3;
constexpr uint8_t codeConfigure = 4;

// Genius datagrams.
constexpr uint8_t datagramFunction = 0x20;
constexpr uint8_t readDevice = 30;
constexpr uint8_t readDeviceReply = 31;
constexpr uint8_t writeDevice = 32;
// A Read Device or Write Device body: byte 0 and byte 2 are 0, then the segment selector, the
// offset (16 bits, little-endian) and the length (8 bits); the data follow the header.
constexpr uint32_t bodySelector = 1;
constexpr uint32_t bodyOffset = 3;
constexpr uint32_t bodyLength = 5;
constexpr uint32_t bodyHeaderLength = 6;
constexpr uint32_t largestReplyData = replyDataRoom - bodyHeaderLength;  // 128

// Global data.
constexpr uint32_t lockoutRequest = 0xA48;
constexpr uint32_t lockoutGranted = 0xA49;
constexpr uint32_t deviceTable = 0x1E02;
constexpr uint32_t deviceTableEntry = 8;
constexpr uint32_t ownOutputTable = 0x1F80;
constexpr uint32_t inputTables = 0x2000;
constexpr uint32_t tableLength = 128;
constexpr uint32_t lanDevices = 32;

constexpr uint32_t presenceByte(uint32_t device) { return deviceTable + deviceTableEntry * device; }
constexpr uint32_t inputTable(uint32_t device) { return inputTables + tableLength * device; }

// Ports, from the card's first port.
constexpr uint16_t ioStatus = 0;
constexpr uint16_t ioControl = 1;
constexpr uint16_t unusedPort = 2;
constexpr uint16_t ioRegister3 = 3;
constexpr uint16_t portCount = 4;

constexpr uint8_t controlKey = 0x99;    // to ioRegister3: unlocks ioControl
constexpr uint8_t controlHold = 0x01;   // to ioControl: hold the card in reset
constexpr uint8_t controlRun = 0x43;    // to ioControl, held and unlocked: boot
constexpr uint8_t statusOkMissing = 0x08;
constexpr uint8_t statusCommError = 0x10;

// The XPORTIO device control codes and the layouts of their requests, little-endian: the one
// place the device's side (the in-process plant and the device server) takes them from.
constexpr uint32_t xportioMapMemory = 0xD0532000;    // in the map request, out the address
constexpr uint32_t xportioUnmapMemory = 0xD0532004;  // in the address
constexpr uint32_t xportioReadPort = 0xD0532008;     // in the port (2 bytes), out the value (2)
constexpr uint32_t xportioWritePort = 0xD053200C;    // in the port write request
constexpr uint32_t mapRequestSize = 24;
constexpr uint32_t mapRequestInterfaceType = 0;
constexpr uint32_t mapRequestBusNumber = 4;
constexpr uint32_t mapRequestPhysicalAddress = 8;  // 8 bytes
constexpr uint32_t mapRequestAddressSpace = 16;
constexpr uint32_t mapRequestLength = 20;
constexpr uint32_t portReadRequestSize = 2;
constexpr uint32_t portReadReplySize = 2;
constexpr uint32_t portWriteRequestSize = 4;  // port, then value
constexpr uint32_t isaBus = 1;

}  // namespace pcimemu::cardmap
