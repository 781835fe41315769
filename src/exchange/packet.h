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
    uint8_t lastByteBits;        // set by the builder: see lastByteMask
};

// A write of a block of Genius global-data points (code 129) carries the bytes that hold the
// block's points, the last of which may hold points of other gates too. The bits of that last data
// byte that belong to the block: 0xFF when it is a whole byte. The transport copies the length
// field's bytes into the table but merges the last one under this mask:
//     table[last] = (table[last] & ~mask) | (body[last] & mask)
// For every other packet the mask is 0xFF.
inline uint8_t lastByteMask(const RequestPacket& packet) {
    return packet.lastByteBits == 0 ? uint8_t{0xFF} : packet.lastByteBits;
}

// Refuses, with one message at the driver level naming the count, an access whose count or
// placement no packet can carry. 0 the access can be built, 1 refused.
int checkRequestCapacity(const GateAccess* access, uint8_t direction);

// Fills body, subfunctions, bodyLength and lastByteBits from the access record; the caller set
// direction. 0 built; 1 only for an access that checkRequestCapacity refuses (nothing is then read
// from the host's buffer and no message is sent).
//
// The host's buffer for a block of points (PLC bit memory, Genius global-data points) holds the
// block packed from bit 0 of byte 0: point i at byte i / 8, bit i % 8, in count / 8 bytes rounded
// up. In the packet every point keeps the place it has in the memory's own bytes, counted from the
// byte that holds the block's first point.
int buildRequestPacket(const GateAccess* access, RequestPacket* packet);

// After a successful transport: copies what was read into the host's buffer. 0 done; 1 the reply
// does not hold what was asked for (a message at the driver level has said so; the buffer is
// untouched).
int parseReplyPacket(GateAccess* access, const RequestPacket* packet);

}  // namespace zurpm
