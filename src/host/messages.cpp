// Console output of the driver, through the platform.
#include "host/messages.h"

#include <cstdarg>

namespace zurpm {

void consolePrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    platform::consolePrint(format, args);
    va_end(args);
}

}  // namespace zurpm
