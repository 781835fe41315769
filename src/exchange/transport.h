// Carrying one request packet through one PCIM card: as a Genius datagram through the card's host
// command interface, or as an access to its global-data tables under the lockout handshake.
#pragma once

#include <cstdint>

#include "cards/card_config.h"
#include "exchange/packet.h"

namespace zurpm {

// 0 done; 1 the command interface did not become free in time; 2 any other failure. Each failure
// has been reported at the driver level.
int transmitPacket(RequestPacket* packet, CardConfig* card);

// True when more than timeoutMs have passed since startTick (modulo 2^32); 0 never expires.
bool hasTimedOut(uint32_t startTick, int32_t timeoutMs);

}  // namespace zurpm
