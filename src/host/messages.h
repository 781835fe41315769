// Messages for the operator go to the host's err at the level of their origin; two diagnostics go
// to the console instead.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace zurpm {

enum MessageLevel : int32_t {
    levelGate = 8,    // a refused gate definition
    levelCard = 16,   // a card that fails its start-up handshake
    levelDriver = 32, // everything else
};

// err(level, format, values...) of the host, with the caller's own format and values.
template <typename... Values>
inline void hostMessage(int32_t level, const char* format, Values... values) {
    platform::hostErr()(level, format, values...);
}

// A line on the process console, printf style.
void consolePrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace zurpm
