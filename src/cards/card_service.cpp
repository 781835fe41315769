// Placeholder until card start-up lands.
#include "cards/card_service.h"

namespace zurpm {
int32_t startDriver(ZurRequest*) { return ZUR_RESULT_FAILED; }
int32_t restartCards(ZurRequest*) { return ZUR_RESULT_OK; }
int32_t stopDriver(ZurRequest*) { return ZUR_RESULT_OK; }
int mapCardWindow(CardConfig*) { return 1; }
int startCard(CardConfig*) { return 1; }
void resetCard(CardConfig*) {}
}  // namespace zurpm
