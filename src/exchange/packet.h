// The request packet: one read or write of a gate on its way through a card. Its body is the
// Genius datagram body itself (a 6-byte address header, then data); the global-data path reads the
// same header to find its place in the card's tables.
#pragma once

#include <cstdint>

#include "zurpm/records.h"

namespace zurpm {

constexpr uint8_t directionRead = 0;
constexpr uint8_t directionWrite = 1;

constexpr uint32_t packetBodySize = 136;

struct RequestPacket {
    uint8_t direction;           // 0 read, 1 write; set by the command before building
    uint8_t device;              // Genius device 0-31 on the chosen card; set by the command
    uint8_t requestSubfunction;  // 30 Read Device, 32 Write Device
    uint8_t replySubfunction;    // 31 Read Device Reply, 0 for writes
    uint8_t bodyLength;          // bytes of body the datagram carries; after a read, the reply's
    uint8_t body[packetBodySize];
};

// Refuses, with one message at the driver level naming the count, an access whose count or
// placement no packet can carry. 0 the access can be built, 1 refused.
int checkRequestCapacity(const GateAccess* access, uint8_t direction);

// Fills body, subfunctions and bodyLength from the access record; the caller set direction.
int buildRequestPacket(const GateAccess* access, RequestPacket* packet);

// After a successful transport: copies what was read into the host's buffer. 0 done; 1 the reply
// does not hold what was asked for (a message at the driver level has said so; the buffer is
// untouched).
int parseReplyPacket(GateAccess* access, const RequestPacket* packet);

}  // namespace zurpm
