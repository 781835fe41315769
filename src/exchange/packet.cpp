// Placeholder until request packets land.
#include "exchange/packet.h"

namespace zurpm {
int checkRequestCapacity(const GateAccess*, uint8_t) { return 1; }
int buildRequestPacket(const GateAccess*, RequestPacket*) { return 0; }
int parseReplyPacket(GateAccess*, const RequestPacket*) { return 1; }
}  // namespace zurpm
