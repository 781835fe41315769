// Cards into service and out of it: start (command 1), restart (2), stop (11), and the per-card
// steps they are made of.
#pragma once

#include "cards/card_config.h"

namespace zurpm {

int32_t startDriver(ZurRequest* request);
int32_t restartCards(ZurRequest* request);
int32_t stopDriver(ZurRequest* request);

int mapCardWindow(CardConfig* card);  // 0 mapped, 1 not
int startCard(CardConfig* card);      // 0 running, 1 the handshake failed (and said why)
void resetCard(CardConfig* card);

// The card record of a slot (0-3) of the current context, when it is one that this driver's last
// start made; null otherwise (not configured, or a block the driver never started).
CardConfig* configuredCard(int slot);

// True when the slot (0-3) of the current context holds a record of an earlier start: the context
// came from before the last start, whose cards it no longer reaches.
bool fromEarlierStart(int slot);

}  // namespace zurpm
