// Releasing card records: the counterpart of the allocation in the configuration reader.
#include "cards/card_config.h"

namespace zurpm {

void releaseCardConfig(CardConfig* card) { delete card; }

}  // namespace zurpm
